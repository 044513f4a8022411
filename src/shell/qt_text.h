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

}  // namespace vistrel
