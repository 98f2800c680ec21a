#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "ui/app.h"
#include "ui/ddx.h"
#include "ui/dialog.h"
#include "ui/headless/headless_backend.h"

namespace {

constexpr int kCount = 10;
constexpr int kValue = 11;
constexpr int kGo = 12;
constexpr int kList = 13;
constexpr int kFail = 14;
constexpr UINT kPing = WM_USER + 5;

constexpr ControlTemplate kControls[] = {
    {IDOK, ControlKind::PushButton, "OK", 1, 1, 10, 10, kDefault | kTabStop},
    {kCount, ControlKind::Edit, "", 1, 20, 10, 10, kVisible | kReadOnly},
    {kValue, ControlKind::Edit, "", 1, 40, 10, 10, kVisible | kReadOnly},
    {kGo, ControlKind::PushButton, "Go", 1, 60, 10, 10, kVisible | kTabStop},
    {kList, ControlKind::ListView, "", 1, 80, 10, 10, kVisible | kReport},
    {kFail, ControlKind::PushButton, "Fail", 1, 100, 10, 10, kVisible},
};
constexpr DialogTemplate kTemplate = {
    1, "Test", "MS Shell Dlg", 9, 100, 120, kCaption | kSysMenu | kModalFrame, kControls};

class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(kTemplate) {}

    UINT count = 0;
    float value = 0.0f;
    CListCtrl list;
    int goes = 0;
    int pings = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, kCount, count);
        DDX_Text(pDX, kValue, value);
        DDX_Control(pDX, kList, list);
    }
    const MessageMap& GetMessageMap() const override {
        static const MessageMap map = MessageMap::Builder<TestDialog>()
                                          .OnClicked(kGo, &TestDialog::OnGo)
                                          .OnClicked(kFail, &TestDialog::OnFail)
                                          .OnMessage(kPing, &TestDialog::OnPing)
                                          .Build();
        return map;
    }
    void OnGo() { ++goes; }
    void OnFail() { throw std::runtime_error("Spreadsheet went away"); }
    LRESULT OnPing(WPARAM w, LPARAM) {
        ++pings;
        return static_cast<LRESULT>(w) * 2;
    }
};

class DialogFramework : public ::testing::Test {
protected:
    void SetUp() override {
        AfxSetBackend(&ui);
        ASSERT_TRUE(dlg.Create());
        w = ui.Main();
    }
    void TearDown() override {
        dlg.DestroyWindow();
        AfxSetBackend(nullptr);
    }

    HeadlessBackend ui;
    CWinApp app{"testapp"};
    TestDialog dlg;
    HeadlessWindow* w = nullptr;
};

TEST_F(DialogFramework, FieldTextsBothWaysAndTextsAMemberCannotTakeKeepTheDialog) {
    dlg.count = 4294967295u;
    dlg.value = 0.5f;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(w->Control(kCount).text, "4294967295");
    EXPECT_EQ(w->Control(kValue).text, "0.5");
    w->Control(kCount).text = "7";
    w->Control(kValue).text = "2.5";
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.count, 7u);
    EXPECT_FLOAT_EQ(dlg.value, 2.5f);

    for (const char* bad : {"", "-1", "12x", "4294967296"}) {
        w->Control(kCount).text = bad;
        EXPECT_FALSE(dlg.UpdateData(TRUE)) << bad;
        EXPECT_EQ(dlg.count, 7u) << bad;
    }
    w->PressEnter();
    EXPECT_FALSE(w->ended);
}

TEST_F(DialogFramework, ClicksAndMessagesReachTheirHandlersAndFailuresAreShown) {
    EXPECT_TRUE(w->Click(kGo));
    EXPECT_EQ(dlg.goes, 1);
    // Another notification of the same control is no click.
    dlg.SendMessage(WM_COMMAND, MakeWParam(kGo, 5), 0);
    EXPECT_EQ(dlg.goes, 1);
    w->Control(kGo).enabled = false;
    EXPECT_FALSE(w->Click(kGo));
    EXPECT_EQ(dlg.goes, 1);
    EXPECT_EQ(dlg.SendMessage(kPing, 21), 42);
    EXPECT_EQ(dlg.SendMessage(WM_USER + 99, 1, 2), 0) << "unlisted messages do nothing";

    // A failing handler is reported once and the dialog goes on.
    EXPECT_TRUE(w->Click(kFail));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Spreadsheet went away");
    EXPECT_EQ(ui.boxes[0].caption, "testapp");
    EXPECT_EQ(ui.boxes[0].type, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_FALSE(w->ended);
    EXPECT_EQ(dlg.SendMessage(kPing, 1), 2);
}

TEST_F(DialogFramework, BoundControlOutlivingItsWindowDoesNothing) {
    dlg.UpdateData(FALSE);
    dlg.list.InsertColumn(0, "ID", LVCFMT_CENTER, 90);
    EXPECT_EQ(dlg.list.InsertItem(0, "1"), 0);
    dlg.DestroyWindow();

    EXPECT_FALSE(dlg.list.IsBound());
    EXPECT_EQ(dlg.list.InsertItem(0, "2"), -1);
    EXPECT_FALSE(dlg.list.SetItemText(0, 0, "x"));
    EXPECT_FALSE(dlg.UpdateData(FALSE));
}

TEST_F(DialogFramework, MessagesFromOtherThreadsWaitForTheWindowAndNotForAGoneOne) {
    const std::uintptr_t owner = dlg.GetSafeOwner();
    LRESULT answer = -1;
    std::thread sender([&] { answer = OwnerMailbox::Send(owner, kPing, 4, 0); });
    // The sender waits until this thread's loop handles the message.
    ASSERT_TRUE(ui.RunLoopUntil([&] { return dlg.pings == 1; }));
    sender.join();
    EXPECT_EQ(answer, 8);

    // A sender caught waiting when the window goes is let go with 0.
    std::atomic<bool> sent{false};
    std::thread late([&] {
        sent = true;
        answer = OwnerMailbox::Send(owner, kPing, 4, 0);
    });
    while (!sent) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dlg.DestroyWindow();
    late.join();
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(dlg.pings, 1);
    EXPECT_EQ(OwnerMailbox::Send(owner, kPing, 4, 0), 0);
}

}  // namespace
