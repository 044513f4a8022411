// The workstation: opens the file named on the command line, or the most
// recent one, in the main window. A batch switch runs its routine on the
// named file without any window (so it works without a display) and exits.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "core/messages.h"
#include "shell/main_frame.h"
#include "shell/message_box_sink.h"
#include "workspace/batch.h"
#include "workspace/command_line.h"
#include "workspace/plugins.h"
#include "workspace/vistrel_app.h"

namespace {

void NameTheApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
}

int RunBatchMode(int argc, char** argv, const vistrel::CVTCommandLineInfo& info) {
    // No QApplication: nothing here may need a display.
    QCoreApplication application(argc, argv);
    NameTheApplication();
    vistrel::CStderrMessageSink sink;
    vistrel::CScopedMessageSink scopedSink(&sink);
    // DICOM files of a batch open through the engine plug-in as they do on screen.
    vistrel::CPlugInManager plugIns;
    plugIns.ScanPlugIns(vistrel::CPlugInManager::DefaultPlugInFolder());
    vistrel::CVistrelApp app;
    return vistrel::RunBatch(app, info);
}

}  // namespace

int main(int argc, char** argv) {
    vistrel::CVTCommandLineInfo info;
    info.Parse(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (info.HelpRequested()) {
        // Before any QApplication: the usage needs no display.
        std::fputs(vistrel::UsageText().c_str(), stdout);
        return 0;
    }
    for (const std::string& flag : info.UnknownFlags())
        std::fprintf(stderr, "vistrel: unknown switch -%s ignored\n", flag.c_str());
    if (info.BatchSwitch() != 0) return RunBatchMode(argc, argv, info);

    QApplication application(argc, argv);
    NameTheApplication();

    // Loaded once for the whole run; declared first so it outlives the frame
    // whose "Pl&ugIns" menu runs them.
    vistrel::CPlugInManager plugIns;
    plugIns.ScanPlugIns(vistrel::CPlugInManager::DefaultPlugInFolder());

    vistrel::CVistrelApp app;
    app.LoadSettings();
    app.LoadToolData(vistrel::CVistrelApp::FindDataFolder());

    vistrel::CMainFrame frame(app);
    vistrel::CMessageBoxSink sink(&frame);
    vistrel::CScopedMessageSink scopedSink(&sink);

    frame.BuildPlugInMenu(plugIns);
    frame.show();
    if (!app.OpenStartupFiles(info.FileNames()))
        return 1;  // named files that cannot be opened end the program (the reasons were shown)
    return application.exec();
}
