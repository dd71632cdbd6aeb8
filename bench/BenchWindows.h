#pragma once

// The real windows for a measurement: sounds into SDL's dummy device unless SDL_AUDIODRIVER says
// otherwise, offscreen unless QT_QPA_PLATFORM says otherwise, and a settings file of their own in
// a temporary home (the tree as read directory, no automatic reading, the file-type marks given).

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/widgets/AppState.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class BenchWindows {
public:
    // `typeMarks`: six lines "0" or "1", for *.ico, *.cur, *.exe, *.dll, *.icl, *.bmp.
    BenchWindows(int& argc, char** argv, const QByteArray& tree, const QByteArray& typeMarks)
        : m_environment(prepareEnvironment(m_home))
        , m_app(argc, argv)
    {
        QDir().mkpath(m_home.path() + "/bildwiesel");
        QFile settings(m_home.path() + "/bildwiesel/bwsave.kwb");
        settings.open(QIODevice::WriteOnly);
        settings.write("-2147483633\r\n" + tree + "/\r\n/tmp/\r\n0\r\n" + typeMarks);
        settings.close();
        bw::createWindows();
        main().show();
    }
    ~BenchWindows() { bw::destroyWindows(); }

    bw::TIconF& main() { return *bw::windows().IconF; }

    // "Einlesen", then the wait until the progress window has closed as it does after a read.
    void readTree()
    {
        bw::readTree(bw::appState(), main(), *bw::windows().EinleseF);
        while (bw::windows().EinleseF->isVisible())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

private:
    static bool prepareEnvironment(const QTemporaryDir& home)
    {
        if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
            qputenv("SDL_AUDIODRIVER", "dummy");
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        qputenv("HOME", home.path().toLocal8Bit());
        return true;
    }

    QTemporaryDir m_home;
    bool m_environment;
    QApplication m_app;
};
