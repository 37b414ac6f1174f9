#include "app/mnemonics.h"

#include <gtest/gtest.h>

namespace vantorra::testing {
namespace {

TEST(MnemonicsTest, EachCaptionGetsALetterNoOtherHas) {
    struct Case {
        std::vector<std::string> captions;
        std::string taken;
        std::vector<std::string> marked;
    };
    const Case cases[] = {
        {{"Width (pixels)", "Height (pixels)", "Scale (%)"}, "", {"&Width (pixels)", "&Height (pixels)", "&Scale (%)"}},
        {{"Open folder", "Open in viewer"}, "", {"&Open folder", "Open &in viewer"}},
        {{"Fit to window", "File"}, "f", {"Fit &to window", "F&ile"}},
        // "Roll" has only letters others could take first: they move aside for it.
        {{"None", "Roll", "Top edge"}, "ot", {"&None", "&Roll", "Top &edge"}},
        {{"Keep &this", "This"}, "", {"Keep &this", "T&his"}},
        {{"θ", "Bands"}, "", {"θ", "&Bands"}},  // nothing usable: left without
    };
    for (const Case& c : cases) {
        std::string taken = c.taken;
        EXPECT_EQ(withMnemonics(c.captions, taken), c.marked);
        std::string seen;
        for (const std::string& caption : c.marked)
            if (const char key = mnemonicOf(caption)) {
                EXPECT_EQ(seen.find(key), std::string::npos) << caption;
                seen += key;
            }
    }
    EXPECT_EQ(mnemonicOf("Save &As..."), 'a');
    EXPECT_EQ(mnemonicOf("Tom && &Jerry"), 'j');
    EXPECT_EQ(mnemonicOf("Plain"), 0);
}

}  // namespace
}  // namespace vantorra::testing
