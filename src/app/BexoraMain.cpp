// bexora: the desktop program.
//
//   bexora [--settings FILE] [LIST.bid]
//   bexora --help | --version

#include <QApplication>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/ebayApp.h"
#include "session/SecretStore.h"
#include "update/ui/URLDownloadDlg.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const bexora::CommandLine line = bexora::ParseCommandLine(args);
    if (!line.error.empty()) {
        std::fprintf(stderr, "bexora: %s\n\n%s", line.error.c_str(), bexora::UsageText().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(bexora::UsageText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("Bexora %s\n", bexora::kVersionText + 8);
        return 0;
    }

    // Passwords in the desktop's keyring when one answers.
    bexora::InstallSecretStore();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationDisplayName("Bexora");
        QApplication::setDesktopFileName("bexora");
        bexora::CebayApp bexoraApp;
        if (!bexoraApp.InitInstance(QApplication::arguments())) return 0;
        // The program ends when its main window has closed (the last window).
        status = QApplication::exec();
    }
    // After an update from the menu: the new copy starts only now, when
    // this one has saved its lists and let go of them.
    bexora::StartRequestedRestart();
    return status;
}
