#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "platform/Dialog.h"
#include "platform/sim/SimPlatform.h"
#include "res/resource.h"
#include "sfx/ExtractOutcome.h"
#include "tests/unit/ScratchFolder.h"

// Dialog template 102 and the string table as the simulated window system presents them. The
// expected values are the ones the Windows image carries (tests/wine/resources.sh reads them
// back from it), so a change to the one list in res/resource.h, or to how the simulated machine
// reads it, shows here.
namespace {

struct ExpectedControl {
    int id;
    std::string className;
    std::string text;
    bool visible;
    bool border;
    int x, y, width, height;  // dialog units
};

const ExpectedControl DIALOG_102[] = {
    {1000, "button", "Install", true, false, 219, 33, 45, 14},
    {1001, "button", "&Uninstall", true, false, 219, 60, 45, 14},
    {1002, "edit", "", false, true, 19, 79, 197, 12},
    {1006, "button", "Close ZIL", false, false, 65, 92, 45, 14},
    {2, "button", "E&xit", false, false, 113, 92, 45, 14},
    {-1, "static", "", true, false, 7, 5, 20, 20},  // the icon
    {1009, "static", "ZIL Setup Program", true, false, 37, 14, 175, 10},
    {1003, "msctls_progress32", "Progress1", true, true, 17, 34, 194, 14},
    {1005, "msctls_progress32", "Progress1", true, true, 17, 61, 193, 14},
    {1007, "static", "Total Progress", true, false, 16, 24, 46, 8},
    {1008, "static", "Current File", true, false, 18, 51, 193, 8},
    {1004, "button", "&Test", false, false, 162, 92, 45, 14},
    {1010, "button", "Launch ZIL", false, false, 19, 92, 45, 14},
};

class DialogTemplateTest : public ::testing::Test {
protected:
    test_support::ScratchFolder m_folder{"zil-template-test"};
    SimPlatform m_platform{test_support::VirtualClockMachine(m_folder.string())};
};

TEST_F(DialogTemplateTest, SimulatedDialogIsTemplate102) {
    // A bare dialog: nothing exchanged or shown, the template as it stands.
    Dialog bare(m_platform.windows(), IDD_SETUP_DIALOG);
    EXPECT_EQ(bare.DoModal(), DLG_IDCANCEL);
    const SimDialogState& state = *m_platform.simWindows().dialogState();
    ASSERT_EQ(state.controls.size(), std::size(DIALOG_102));
    for (std::size_t index = 0; index < state.controls.size(); ++index) {
        const ExpectedControl& expected = DIALOG_102[index];
        const SimControlState& sim = state.controls[index];
        EXPECT_EQ(sim.id, expected.id) << index;
        EXPECT_EQ(sim.className, expected.className) << expected.id;
        EXPECT_EQ(sim.text, expected.text) << expected.id;
        EXPECT_EQ(sim.visible, expected.visible) << expected.id;
        // The border lies outside the client area: one pixel each side.
        Rect outer = SimWindowSystem::dialogUnitsToPixels(expected.x, expected.y, expected.width,
                                                          expected.height);
        int border = expected.border ? 1 : 0;
        EXPECT_EQ(sim.rect, (Rect{outer.left + border, outer.top + border, outer.right - border,
                                  outer.bottom - border}))
            << expected.id;
    }
    EXPECT_EQ(state.caption, "ZIL Setup Program");
    EXPECT_EQ(state.clientRect, SimWindowSystem::dialogUnitsToPixels(0, 0, 271, 118));
    EXPECT_EQ(Dialog(m_platform.windows(), IDD_SETUP_DIALOG + 1).DoModal(), -1)
        << "the program has one template";
}

TEST_F(DialogTemplateTest, StringTableTextsAsTheyStand) {
    const std::pair<int, std::string> table[] = {
        {1, "ZIL Setup Program."},
        {3, "Archive contins no data. Extraction cannot continue."},
        {4,
         "Extractor Experienced Problems Creating Output File. Please ensure that you have "
         "enough space on the target drive."},
        {5, "Internal Error"},
        {6, "%d files extracted successfully"},
        {7, "Archive data is damaged. Extraction cannot continue."},
        {8,
         "Extractor could not read the archive or write an output file. Please ensure that you "
         "have enough space on the target drive."},
    };
    WindowSystem& windows = m_platform.windows();
    for (const auto& [id, text] : table) {
        EXPECT_EQ(windows.loadString(id), text) << id;
        if (id >= IDS_EXTRACT_NO_DATA) {
            EXPECT_EQ(std::string(ExtractOutcomeString(id)), text) << id;
        }
    }
    for (int missing : {0, 2, IDS_EXTRACT_INCOMPLETE + 1, IDD_SETUP_DIALOG}) {
        EXPECT_EQ(windows.loadString(missing), "") << missing;
    }
    // The title is no outcome of an extraction.
    EXPECT_EQ(std::string(ExtractOutcomeString(IDS_TITLE)), "Internal Error");
}

}  // namespace
