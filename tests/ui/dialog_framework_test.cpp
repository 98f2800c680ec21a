#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "ui/app.h"
#include "ui/ddx.h"
#include "ui/dialog.h"
#include "ui/headless/headless_backend.h"

namespace {

constexpr int kList = 13;
constexpr int kFail = 14;
constexpr UINT kPing = WM_USER + 5;

constexpr ControlTemplate kControls[] = {
    {kList, ControlKind::ListView, "", 1, 80, 10, 10, kVisible | kReport},
    {kFail, ControlKind::PushButton, "Fail", 1, 100, 10, 10, kVisible},
};
constexpr DialogTemplate kTemplate = {
    1, "Test", "MS Shell Dlg", 9, 100, 120, kCaption | kSysMenu | kModalFrame, kControls};

class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(kTemplate) {}

    CListCtrl list;
    int pings = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, kList, list); }
    const MessageMap& GetMessageMap() const override {
        static const MessageMap map = MessageMap::Builder<TestDialog>()
                                          .OnClicked(kFail, &TestDialog::OnFail)
                                          .OnMessage(kPing, &TestDialog::OnPing)
                                          .Build();
        return map;
    }
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

TEST_F(DialogFramework, MessagesReachTheirHandlersAndAFailingOneIsShown) {
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
