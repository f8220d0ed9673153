#include "TransmitFakes.h"

#include "common/testing/QtTestEnvironment.h"
#include "transmit/PttForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace dita;
using namespace dita::test;

namespace {

struct FormFixture {
    LineLog log;
    std::vector<Message> messages;
    KeyingPort port{{}, recordingOpener(log), [](int32_t) { return std::string("/dev/fake"); }};
    std::unique_ptr<TPTTForm> form;
    FormFixture() {
        port.OutputPort = kOutputPortNumber;
        port.OpenComPort(1);
        form = std::make_unique<TPTTForm>(port, recordMessages(messages));
        form->show();
    }
    // On the box's indicator: a stretched check box's centre can lie beyond its label.
    void click(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    }
};

} // namespace

TEST(TPTTForm, ShowsItsCaptionControlsAndTheDefaults) {
    FormFixture f;
    EXPECT_EQ(f.form->windowTitle(), "PTT Setup");
    EXPECT_EQ(f.form->PTTEnbCheckBox->text(), "PTT Enable");
    EXPECT_EQ(f.form->PTTInvChkBox->text(), "PTT Invert");
    QStringList groups;
    for (auto* g : f.form->findChildren<QGroupBox*>())
        groups << g->title();
    groups.sort();
    EXPECT_EQ(groups, (QStringList{"Data Output", "PTT Output"}));
    EXPECT_TRUE(f.form->DTRChkBox1->isChecked());
    EXPECT_TRUE(f.form->RTSChkBox1->isChecked());
    EXPECT_FALSE(f.form->DTRChkBox2->isChecked());
    EXPECT_FALSE(f.form->RTSChkBox2->isChecked());
    EXPECT_FALSE(f.form->PTTEnbCheckBox->isChecked());

    const auto shot = std::filesystem::path(DITA_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(shot);
    EXPECT_TRUE(f.form->grab().save(QString::fromStdString((shot / "ptt-setup.png").string())));
}

TEST(TPTTForm, RefusesALineAsBothDataAndPttWithTheExactMessage) {
    FormFixture f;
    f.click(f.form->DTRChkBox2); // DTR is a data line
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].text, "Cannot assign DTR to both Data and PPT");
    EXPECT_EQ(f.messages[0].caption, "Error Message");
    EXPECT_FALSE(f.form->DTRChkBox2->isChecked());
    EXPECT_FALSE(f.port.ptt().DtrIsPtt);
    EXPECT_TRUE(f.port.ptt().DtrIsData);

    f.click(f.form->RTSChkBox2);
    ASSERT_EQ(f.messages.size(), 2u);
    EXPECT_EQ(f.messages[1].text, "Cannot assign RTS to both Data and PPT");
    EXPECT_FALSE(f.port.ptt().RtsIsPtt);

    // Free RTS from data, make it PTT, then try to make it data again.
    f.click(f.form->RTSChkBox1);
    EXPECT_FALSE(f.port.ptt().RtsIsData);
    f.click(f.form->RTSChkBox2);
    EXPECT_TRUE(f.port.ptt().RtsIsPtt);
    EXPECT_EQ(f.messages.size(), 2u);
    f.click(f.form->RTSChkBox1);
    ASSERT_EQ(f.messages.size(), 3u);
    EXPECT_EQ(f.messages[2].text, "Cannot assign RTS to both Data and PPT");
    EXPECT_FALSE(f.form->RTSChkBox1->isChecked());
    EXPECT_FALSE(f.port.ptt().RtsIsData);
}

TEST(TPTTForm, RefusesTwoPttLines) {
    FormFixture f;
    f.click(f.form->DTRChkBox1); // DTR no longer data
    f.click(f.form->DTRChkBox2); // DTR is PTT
    ASSERT_TRUE(f.port.ptt().DtrIsPtt);
    f.click(f.form->RTSChkBox1); // RTS no longer data
    f.click(f.form->RTSChkBox2); // but DTR already is PTT
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].text, "Cannot assign both DTR and RTS to be PPT");
    EXPECT_EQ(f.messages[0].caption, "Error Message");
    EXPECT_FALSE(f.form->RTSChkBox2->isChecked());
    EXPECT_FALSE(f.port.ptt().RtsIsPtt);
    EXPECT_TRUE(f.port.ptt().DtrIsPtt);
}

TEST(TPTTForm, EnableAndInvertReleasePttOnTheLine) {
    FormFixture f;
    f.click(f.form->DTRChkBox1);
    f.click(f.form->DTRChkBox2);
    f.port.KeyState = kKeyDown;
    f.click(f.form->PTTEnbCheckBox);
    EXPECT_TRUE(f.port.ptt().PttEnable);
    EXPECT_EQ(f.port.KeyState.load(), kKeyUp);
    EXPECT_FALSE(f.log.level(ModemLine::Dtr)); // released
    f.click(f.form->PTTInvChkBox);
    EXPECT_TRUE(f.port.ptt().PttInvert);
    EXPECT_TRUE(f.log.level(ModemLine::Dtr)); // released, inverted
    EXPECT_TRUE(f.messages.empty());
}
