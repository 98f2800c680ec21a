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
    int cancels = 0;

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
                                          .OnClicked(IDCANCEL, &TestDialog::OnCancelled)
                                          .OnMessage(kPing, &TestDialog::OnPing)
                                          .Build();
        return map;
    }
    void OnGo() { ++goes; }
    void OnFail() { throw std::runtime_error("Spreadsheet went away"); }
    void OnCancelled() {
        ++cancels;
        EndDialog(IDCANCEL);
    }
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

TEST_F(DialogFramework, FieldTextsBothWays) {
    dlg.value = 0.5f;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(w->Control(kValue).text, "0.5");
    dlg.count = 4294967295u;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(w->Control(kCount).text, "4294967295");

    w->Control(kCount).text = "255";
    w->Control(kValue).text = "0.5";
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.count, 255u);
    EXPECT_FLOAT_EQ(dlg.value, 0.5f);
}

TEST_F(DialogFramework, TextAMemberCannotTakeFailsTheExchangeAndOkKeepsTheDialog) {
    dlg.count = 7;
    for (const char* bad : {"", "-1", "12x", "4294967296"}) {
        w->Control(kCount).text = bad;
        EXPECT_FALSE(dlg.UpdateData(TRUE)) << bad;
        EXPECT_EQ(dlg.count, 7u) << bad;
    }
    w->PressEnter();
    EXPECT_FALSE(w->ended);
}

TEST_F(DialogFramework, ClicksReachTheirHandlersOnlyAsClicks) {
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
}

TEST_F(DialogFramework, CloseBoxAndEscapeGoThroughCancel) {
    w->PressCloseBox();
    EXPECT_EQ(dlg.cancels, 1);
    EXPECT_TRUE(w->ended);
    EXPECT_EQ(w->result, IDCANCEL);
    w->PressEscape();
    EXPECT_EQ(dlg.cancels, 2);
}

TEST_F(DialogFramework, FailingHandlerIsReportedOnceAndTheDialogGoesOn) {
    EXPECT_TRUE(w->Click(kFail));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Spreadsheet went away");
    EXPECT_EQ(ui.boxes[0].caption, "testapp");
    EXPECT_EQ(ui.boxes[0].type, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_TRUE(ui.boxes[0].owned);
    EXPECT_FALSE(w->ended);
    EXPECT_TRUE(w->Click(kGo));
    EXPECT_EQ(dlg.goes, 1);
}

TEST_F(DialogFramework, BoundControlOutlivingItsWindowDoesNothing) {
    dlg.UpdateData(FALSE);
    ASSERT_TRUE(dlg.list.IsBound());
    dlg.list.InsertColumn(0, "ID", LVCFMT_CENTER, 90);
    EXPECT_EQ(dlg.list.InsertItem(0, "1"), 0);
    dlg.DestroyWindow();

    EXPECT_FALSE(dlg.list.IsBound());
    EXPECT_EQ(dlg.list.InsertItem(0, "2"), -1);
    EXPECT_FALSE(dlg.list.SetItemText(0, 0, "x"));
    EXPECT_EQ(dlg.list.GetItemCount(), 0);
    EXPECT_EQ(dlg.GetDlgItem(kGo), nullptr);
    EXPECT_FALSE(dlg.UpdateData(FALSE));

    // A new window binds it again.
    ASSERT_TRUE(dlg.Create());
    dlg.UpdateData(FALSE);
    EXPECT_TRUE(dlg.list.IsBound());
    EXPECT_EQ(dlg.list.GetItemCount(), 0);
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

TEST_F(DialogFramework, ModalLoopHandlesSentMessagesUntilEnded) {
    dlg.DestroyWindow();
    std::thread sender;
    ui.modalScripts.push_back([&](HeadlessWindow& modal) {
        if (!sender.joinable())
            sender = std::thread([owner = modal.OwnerHandle()] {
                for (int i = 0; i < 3; ++i) OwnerMailbox::Send(owner, kPing, 1, 0);
            });
        if (dlg.pings < 3) return false;
        modal.PressEscape();
        return true;
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    sender.join();
    EXPECT_EQ(dlg.pings, 3);
    EXPECT_FALSE(dlg.HasWindow());
}

TEST(StringTable, MissingStringLoadsEmpty) {
    constexpr StringResource table[] = {{7, "seven"}};
    AfxSetStringTable(table);
    CString s;
    EXPECT_TRUE(s.LoadString(7));
    EXPECT_EQ(s, "seven");
    EXPECT_FALSE(s.LoadString(8));
    EXPECT_TRUE(s.IsEmpty());
    AfxSetStringTable({});
}

}  // namespace
