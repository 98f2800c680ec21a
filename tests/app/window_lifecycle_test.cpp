#include "window_fixture.h"

namespace {

class WindowEndTest : public MainWindowTest {
protected:
    // Runs a second main window modally: opens its port, leaves a byte on its
    // way to the window, then ends the dialog the way the user chose.
    INT_PTR RunAndEndWithPortOpen(const std::function<void(HeadlessWindow&)>& end) {
        TestableDlg second(comm, excel);
        ui.modalScripts.push_back([&](HeadlessWindow& w) {
            OpenPortOf(w);
            const int before = delivering.load();
            comm.Incoming({0xEB});
            EXPECT_TRUE(WaitUntilDelivering(before + 1));
            end(w);
            return true;
        });
        return second.DoModal();
    }
};

TEST_F(WindowEndTest, EscapeCloseBoxAndEnterEndTheProgramAlsoWithThePortOpen) {
    const std::vector<std::pair<INT_PTR, std::function<void(HeadlessWindow&)>>> ways = {
        {IDCANCEL, [](HeadlessWindow& w) { w.PressEscape(); }},
        {IDCANCEL, [](HeadlessWindow& w) { w.PressCloseBox(); }},
        {IDOK, [](HeadlessWindow& w) { w.PressEnter(); }},
    };
    for (const auto& [result, end] : ways) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(RunAndEndWithPortOpen(end), result);
        // The dialog object is gone: its port stopped the worker and let go
        // of the device without a word to the user.
        EXPECT_EQ(comm.LiveThreads(), 0);
        EXPECT_EQ(comm.OpenDevices(), 0);
        EXPECT_TRUE(comm.Boxes().empty());
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    }
}

TEST_F(MainWindowTest, OkTakesTheFieldTextsBackIntoTheMembers) {
    Control(IDC_EDIT_LENGTH).text = "17";
    Control(IDC_EDIT_RANGE).text = "2.5";
    window->PressEnter();
    EXPECT_TRUE(window->ended);
    EXPECT_EQ(window->result, IDOK);
    EXPECT_EQ(dlg->DataLength(), 17u);
    EXPECT_FLOAT_EQ(dlg->FullRange(), 2.5f);
}

TEST_F(MainWindowTest, MinimisedWindowPaintsItsIconAndDragsIt) {
    window->Paint();
    EXPECT_EQ(window->paintedIcon, nullptr) << "a normal window is painted by the dialog";
    window->iconic = true;
    window->Paint();
    EXPECT_EQ(window->paintedIcon, dlg->Icon());
    EXPECT_EQ(dlg->SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dlg->Icon()));
    EXPECT_NE(dlg->Icon(), nullptr);
}

}  // namespace
