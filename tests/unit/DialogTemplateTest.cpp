#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "dialog/Dialog.h"
#include "platform/sim/SimPlatform.h"
#include "res/DialogTemplate.h"
#include "res/StringTable.h"
#include "sfx/ExtractOutcome.h"
#include "tests/unit/ScratchFolder.h"

// The resource script and the simulated window system expand the same lists of res/resource.h,
// and tests/wine/resources.sh reads back what the Windows image carries; left here are the
// program's own choices on the template and the table, and the ids they do not hold.
namespace {

class DialogTemplateTest : public ::testing::Test {
protected:
    test_support::ScratchFolder m_folder{"zil-template-test"};
    SimPlatform m_platform{test_support::VirtualClockMachine(m_folder.string())};
};

TEST_F(DialogTemplateTest, CurrentFileLabelIsAsWideAsItsBar) {
    const DialogTemplate* setup = FindDialogTemplate(IDD_SETUP_DIALOG);
    ASSERT_NE(setup, nullptr);
    auto width = [&](int id) {
        auto found =
            std::find_if(setup->controls.begin(), setup->controls.end(),
                         [id](const DialogTemplateControl& item) { return item.id == id; });
        return found != setup->controls.end() ? found->width : -1;
    };
    EXPECT_EQ(width(IDC_CURRENT_LABEL), width(IDC_CURRENT_PROGRESS));
}

// The simulated layout: dialog units through the template font's base units (7 by 16 pixels),
// rounded as MapDialogRect rounds; a border takes a pixel on each side from the client area.
TEST_F(DialogTemplateTest, SimulatedLayoutInPixels) {
    EXPECT_EQ(Dialog(m_platform.windows(), IDD_SETUP_DIALOG).DoModal(), DLG_IDCANCEL);
    const SimDialogState& dialog = *m_platform.simWindows().dialogState();
    EXPECT_EQ(dialog.clientRect, (Rect{0, 0, 474, 236}));
    EXPECT_EQ(dialog.control(IDC_TOTAL_PROGRESS)->rect, (Rect{31, 69, 368, 95}));
    EXPECT_EQ(dialog.control(IDC_CURRENT_LABEL)->rect, (Rect{32, 102, 369, 118}));
}

TEST_F(DialogTemplateTest, UnknownIdsFindNothing) {
    // As DialogBoxParam fails for a template the executable does not carry.
    EXPECT_EQ(Dialog(m_platform.windows(), IDD_SETUP_DIALOG + 1).DoModal(), -1);
    EXPECT_EQ(m_platform.simWindows().dialogState(), nullptr);
    for (int missing : {0, 2, IDS_EXTRACT_INCOMPLETE + 1, IDD_SETUP_DIALOG}) {
        EXPECT_EQ(m_platform.windows().loadString(missing), "") << missing;
    }
    // Only the extraction's entries are an outcome's words.
    for (int other : {IDS_TITLE, IDS_EXTRACT_INCOMPLETE + 1}) {
        EXPECT_STREQ(ExtractOutcomeString(other), StringTableText(IDS_EXTRACT_INTERNAL)) << other;
    }
}

}  // namespace
