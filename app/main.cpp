// The workstation: opens the file named on the command line, or the most
// recent one, in the main window.

#include <QApplication>
#include <QStringList>

#include "core/messages.h"
#include "shell/main_frame.h"
#include "shell/message_box_sink.h"
#include "workspace/vistrel_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));

    vistrel::CVistrelApp app;
    app.LoadSettings();
    app.LoadToolData(vistrel::CVistrelApp::FindDataFolder());

    vistrel::CMainFrame frame(app);
    vistrel::CMessageBoxSink sink(&frame);
    vistrel::CScopedMessageSink scopedSink(&sink);

    std::string file;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument.startsWith('-') || argument.startsWith('/')) {
            // Switches are handled by the batch routines; a path starting with
            // '/' is still a file when it exists.
            if (!argument.startsWith('/') || argument.size() <= 2) continue;
        }
        file = argument.toStdString();
        break;
    }

    frame.show();
    if (!file.empty()) {
        // A file that cannot be opened ends the program (the reason was shown).
        if (!app.OpenDocumentFile(file)) return 1;
    } else {
        const std::string recent = app.MostRecentExistingFile();
        if (!recent.empty() && app.mode == 0) app.OpenDocumentFile(recent);
    }
    return application.exec();
}
