// The desktop's open action for help and product files named without a
// folder: they come from the program's own folder, never from the working
// directory the program happened to be started in.
#include "platform/desktop/launch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

#include "qt_wait.h"

namespace {

// A shell script that leaves a file behind when it runs.
void write_marker_script(const QString& path, const QString& marker) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\npwd > \"" + QFile::encodeName(marker) + "\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

class Launch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        saved_cwd = QDir::currentPath();
    }
    void TearDown() override {
        QDir::setCurrent(saved_cwd);
        for (const QString& f : planted) QFile::remove(f);
    }
    QTemporaryDir tmp;
    QString saved_cwd;
    QStringList planted;
};

}  // namespace

TEST_F(Launch, RelativeNamesComeFromTheProgramsFolder) {
    EXPECT_EQ(lv::resolve_program_file("help.hlp", "/opt/lumivane/"), "/opt/lumivane/help.hlp");
    EXPECT_EQ(lv::resolve_program_file("help.hlp", "/opt/lumivane"), "/opt/lumivane/help.hlp");
    EXPECT_EQ(lv::resolve_program_file("../x/Tavrel_Products.exe", "/opt/lumivane/"), "/opt/x/Tavrel_Products.exe");
    EXPECT_EQ(lv::resolve_program_file("/usr/bin/thing", "/opt/lumivane/"), "/usr/bin/thing");
    EXPECT_EQ(lv::resolve_program_file("https://example.org/a", "/opt/lumivane/"), "https://example.org/a");
    const QString own = QCoreApplication::applicationDirPath();
    EXPECT_EQ(lv::resolve_program_file("help.hlp"), (own + "/help.hlp").toStdString());
}

TEST_F(Launch, AProgramInTheWorkingDirectoryIsNeverRun) {
    // Started from a folder that holds programs under the names we look for.
    const QString marker = tmp.path() + "/ran";
    for (const char* name : {"help.hlp", "Tavrel_Products.exe"}) write_marker_script(tmp.path() + "/" + name, marker);
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    const QString own = QCoreApplication::applicationDirPath();
    ASSERT_FALSE(QFile::exists(own + "/help.hlp")) << "the test's own folder holds a help.hlp";
    ASSERT_FALSE(QFile::exists(own + "/Tavrel_Products.exe"));

    EXPECT_FALSE(lv::desktop_open_file("help.hlp", "", ""));
    EXPECT_FALSE(lv::desktop_open_file("Tavrel_Products.exe", "", ""));
    EXPECT_FALSE(lv::test::wait_for([&] { return QFile::exists(marker); }, 500)) << "ran the working directory's file";
}

TEST_F(Launch, AProgramInTheProgramsFolderRunsThere) {
    // Planted next to the running executable under a name of its own.
    const QString own = QCoreApplication::applicationDirPath();
    const QString name = QStringLiteral("lumivane-launch-test-%1.sh").arg(::getpid());
    const QString marker = tmp.path() + "/ran";
    write_marker_script(own + "/" + name, marker);
    planted << own + "/" + name;
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));

    EXPECT_TRUE(lv::desktop_open_file(name.toStdString(), "", ""));
    ASSERT_TRUE(lv::test::wait_for([&] { return QFile::exists(marker) && QFile(marker).size() > 0; }));
    QFile out(marker);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll().trimmed(), QDir(own).canonicalPath().toUtf8()) << "did not start in its own folder";
}
