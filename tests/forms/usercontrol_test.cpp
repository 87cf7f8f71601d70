#include "platform/forms/UserControl.h"

#include "platform/desktop/Win.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

using testing_support::TestMachine;

TEST(UserControl, WindowFollowsMoveAndVisibleAndGoesWithTheObject) {
    TestMachine m;
    const win::HWND form = win::CreateWindowEx(0, "#32770", "f", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 0, 0, 300, 200, 0);
    win::HWND own = 0;
    {
        forms::UserControl uc(form);
        own = uc.hWnd();
        ASSERT_NE(own, 0);
        EXPECT_EQ(win::GetParent(own), form);
        uc.Move(150, 300, 1507, 450);
        EXPECT_EQ(uc.Width(), 1507);  // twips kept as given
        win::RECT r;
        win::GetWindowRect(own, &r);
        win::POINT origin;
        win::ClientToScreen(form, &origin);
        EXPECT_EQ(r, (win::RECT{origin.x + 10, origin.y + 20, origin.x + 110, origin.y + 50}));
        EXPECT_TRUE(uc.Visible());
        uc.setVisible(false);
        EXPECT_FALSE(uc.Visible());
        uc.PropertyChanged("A");
        uc.PropertyChanged("B");
        EXPECT_EQ(uc.changedProperties(), (std::vector<std::string>{"A", "B"}));
    }
    EXPECT_FALSE(win::IsWindow(own));
}

TEST(PropertyBag, NamesIgnoreCaseAndFontsAreCopies) {
    forms::PropertyBag bag;
    EXPECT_EQ(bag.ReadProperty("Upper", 1000).toLong(), 1000);
    bag.WriteProperty("Upper", 7, 1000);
    EXPECT_EQ(bag.ReadProperty("UPPER", 1000).toLong(), 7);

    auto font = forms::newFont("Tahoma", 9);
    bag.WriteFont("Font", font, nullptr);
    font->Name = "Changed later";
    const auto read = bag.ReadFont("font", nullptr);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Name, "Tahoma");
    EXPECT_NE(read, bag.ReadFont("Font", nullptr));
    // A scalar is not a font: the default answers.
    EXPECT_EQ(bag.ReadFont("Upper", forms::newFont("Arial", 8))->Name, "Arial");
}
