#pragma once
// Conversions between the libraries' UTF-8 std::string and QString, one copy
// for the whole shell.

#include <QString>
#include <string>

namespace vistrel {

inline QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}
inline QString ToQ(const char* text) {
    return QString::fromUtf8(text);
}
inline std::string FromQ(const QString& text) {
    return text.toStdString();
}
// A real typed into a field; fallback (the value in force) when the text is not a number.
inline double RealOf(const QString& text, double fallback) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : fallback;
}

}  // namespace vistrel
