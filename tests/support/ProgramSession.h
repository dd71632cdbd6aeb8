#pragma once

// For window tests that run the whole program: a settings file naming the directories, the
// start-up read, and the lines of a list.

#include "ScriptedDialogs.h"

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/widgets/AppState.h"
#include "support/Funky.h"
#include "view/PageState.h"

#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace testutil {

// Writes the settings file of a test: colour, read and copy directory (without their final "/"),
// automatic reading, and the six file-type marks as "1"/"0" in the list's order.
inline void writeSettings(const QString& configHome, const std::string& readDirectory, const std::string& copyDirectory, bool autoRead,
                          const char* types = "111111", const char* colour = "-2147483633")
{
    std::filesystem::create_directories(configHome.toStdString() + "/bildwiesel");
    QFile f(configHome + "/bildwiesel/bwsave.kwb");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray text = QByteArray(colour) + "\r\n" + QByteArray::fromStdString(readDirectory) + "/\r\n"
        + QByteArray::fromStdString(copyDirectory) + "/\r\n" + (autoRead ? "1" : "0") + "\r\n";
    for (const char* t = types; *t; ++t)
        text += QByteArray(1, *t) + "\r\n";
    f.write(text);
}

// Writes the settings file (automatic reading on, every file type) and starts the program; returns
// when the start-up read of readDirectory has ended.
inline void startProgram(const QString& configHome, const std::string& readDirectory, const std::string& copyDirectory)
{
    writeSettings(configHome, readDirectory, copyDirectory, true);
    bw::createWindows();
    bw::windows().IconF->show();
    QTRY_VERIFY(!bw::windows().EinleseF->isVisible() && bw::windows().IconF->isEnabled());
}

// The ground every window test stands on: a settings directory of its own, a folder for the files
// it reads, answers to every dialog, the program's state fresh before each test, and the windows
// and a replaced clock gone after it.
class ProgramTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    QTemporaryDir treeDir;
    std::filesystem::path tree {treeDir.path().toStdString()};
    ScriptedDialogs dialogs;

    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        bw::appState() = bw::AppState {};
        bw::pageState() = bw::PageState {};
    }
    void TearDown() override
    {
        bw::setTickSource(nullptr);
        bw::destroyWindows();
    }
};

inline QStringList linesOf(const QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

} // namespace testutil
