// The about box: name and version, the system information tool and the two
// web pages with their failure messages.
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <vector>

#include "main_screen/frm_About.h"
#include "platform/controls/label_control.h"
#include "player/modal_watch.h"
#include "scoped_env.h"

using lvtest::seen_box;

namespace {

class AboutTest : public ::testing::Test {
protected:
    std::vector<std::string> started;
    std::vector<QUrl> opened;
    bool start_ok = true, open_ok = true;
    std::function<std::string()> saved_finder;

    void SetUp() override {
        saved_finder = lv::frm_About::find_sysinfo_tool;
        lv::frm_About::start_program = [this](const std::string& p) {
            started.push_back(p);
            return start_ok;
        };
        lv::frm_About::open_url = [this](const QUrl& u) {
            opened.push_back(u);
            return open_ok;
        };
    }
    void TearDown() override { lv::frm_About::find_sysinfo_tool = saved_finder; }
};

TEST_F(AboutTest, ShowsTheProductAndItsVersion) {
    lv::frm_About dlg;
    EXPECT_EQ(dlg.windowTitle(), "About Lumivane");
    EXPECT_EQ(dlg.FXLabel1->caption(), "Lumivane");
    EXPECT_EQ(dlg.FXLabel2->caption(), "Version 6.0.11");
    EXPECT_EQ(dlg.cmdSysInfo->text(), "&System Info...");
    EXPECT_EQ(dlg.Command1->text(), "&Tavrel Software Home Page");
    EXPECT_EQ(dlg.Command2->text(), "Lumivane &Home Page");
    dlg.show();
    dlg.cmdOK->click();
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(AboutTest, SystemInformationToolIsFoundOnThePathAndStarted) {
    QTemporaryDir bin;
    const QString tool = bin.filePath("hardinfo");
    {
        QFile f(tool);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    std::string found;
    {
        lvtest::scoped_env path("PATH", bin.path().toLocal8Bit());
        found = lv::frm_About::find_sysinfo_tool();
    }
    EXPECT_EQ(found, tool.toStdString());

    lv::frm_About::find_sysinfo_tool = [found] { return found; };
    lv::frm_About dlg;
    auto box = std::make_shared<seen_box>();
    auto watcher = lvtest::when_modal<QMessageBox>([box](QMessageBox* m) {
        box->text = m->text().toStdString();
        m->done(QMessageBox::Ok);
    }, lvtest::hang_guard_ms, false);
    dlg.cmdSysInfo->click();
    delete watcher.data();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], found);
    EXPECT_TRUE(box->text.empty());
}

TEST_F(AboutTest, MissingOrFailingToolSaysSystemInformationIsUnavailable) {
    lv::frm_About dlg;
    lv::frm_About::find_sysinfo_tool = [] { return std::string(); };
    auto box = std::make_shared<seen_box>();
    lvtest::answer_message_box(box);
    dlg.StartSysInfo();
    EXPECT_EQ(box->text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(box->buttons, 1);
    EXPECT_TRUE(started.empty());

    lv::frm_About::find_sysinfo_tool = [] { return std::string("/usr/bin/hardinfo"); };
    start_ok = false;
    box = std::make_shared<seen_box>();
    lvtest::answer_message_box(box);
    dlg.StartSysInfo();
    EXPECT_EQ(box->text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(started.size(), 1u);
}

TEST_F(AboutTest, WebPagesOpenInTheBrowserOrSayWhy) {
    lv::frm_About dlg;
    dlg.Command1->click();
    dlg.Command2->click();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(lv::maker_home_page));
    EXPECT_EQ(opened[1], QUrl(lv::product_home_page));

    open_ok = false;
    auto box = std::make_shared<seen_box>();
    lvtest::answer_message_box(box);
    dlg.Command2->click();
    EXPECT_EQ(box->title, "Error!");
    EXPECT_EQ(box->text,
              "Error Launching Your Default Browser!\n\nPlease make sure you have a DEFAULT browser selected and "
              "try again.");
}

}  // namespace
