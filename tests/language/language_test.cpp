#include "platform/library.h"
#include "shared/records.h"

#include <gtest/gtest.h>

using nv::WordingStruct;

namespace {

using LoadWordings = WordingStruct (*)();

struct Pack {
    explicit Pack(const char* file)
        : lib(nv::platform::Library::Load(std::string(NV_BIN_DIR) + "/Language/" + file)),
          load(lib ? lib->Function<LoadWordings>("loadWordings") : nullptr) {}
    std::unique_ptr<nv::platform::Library> lib;
    LoadWordings load;
};

}  // namespace

TEST(LanguagePack, EnglishTextsAreExact) {
    Pack pack("English.so");
    ASSERT_NE(pack.load, nullptr);
    WordingStruct w = pack.load();
    const char* expected[] = {
        "Norvalyn Recovery Tool",
        "&Help",
        "&About Norvalyn Recovery Tool...",
        "&Start",
        "E&xit",
        "\nThis program cannot repair this Norvalyn!",
        "\nThere have no any Norvalyn found, please check again.",
        "\nMore than one USB device found, please remove other USB device and stay one Norvalyn which you want to "
        "repair, then press Start.",
        "\nThe UFD cannot use this program to repair.\n\nPlease check again.",
        "\nGet USB device information failed!",
        "\nMiss 'NorvalynDLL.dll' file.\n\nPlease re-install Norvalyn Recovery Tool.",
        "About",
        "&OK",
    };
    for (std::size_t i = 0; i < WordingStruct::kCount; ++i) EXPECT_EQ(w[i], expected[i]) << "index " << i;
}

TEST(LanguagePack, CallsAgreeAndReleasingTheResultKeepsThePackIntact) {
    for (const char* file : {"English.so", "TChinese.so"}) {
        SCOPED_TRACE(file);
        Pack pack(file);
        ASSERT_NE(pack.load, nullptr);
        WordingStruct kept;
        {
            WordingStruct first = pack.load();
            WordingStruct second = pack.load();
            for (std::size_t i = 0; i < WordingStruct::kCount; ++i) {
                EXPECT_FALSE(first[i].IsEmpty()) << i;
                EXPECT_EQ(first[i], second[i]) << i;
                kept[i] = first[i];
            }
        }
        WordingStruct third = pack.load();
        for (std::size_t i = 0; i < WordingStruct::kCount; ++i) {
            EXPECT_EQ(kept[i], third[i]) << i;
            // A new reference to the pack's own text: the pack keeps one too.
            EXPECT_EQ(third[i].RefCount(), 2) << i;
        }
    }
}

TEST(LanguagePack, ChineseCaptionsKeepTheirAccelerators) {
    Pack pack("TChinese.so");
    ASSERT_NE(pack.load, nullptr);
    WordingStruct w = pack.load();
    for (std::size_t i : {1u, 2u, 3u, 4u, 12u}) EXPECT_NE(w[i].view().find('&'), std::string_view::npos) << i;
    for (std::size_t i = 5; i <= 10; ++i) EXPECT_EQ(w[i].view().front(), '\n') << i;
}
