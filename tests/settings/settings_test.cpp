#include <gtest/gtest.h>

#include "core/error.h"
#include "settings/settings.h"

#include <limits>

namespace bm {
namespace {

TEST(SettingsRecord, StartsAtZeroAndStoresWithoutClamping) {
    Settings s;
    for (int f = 0; f < Settings::kFieldCount; ++f) EXPECT_EQ(s.get(Settings::Field(f)), 0);
    EXPECT_EQ(s.PhysicalUpdate(), 0);
    s.MassPrec(5);
    EXPECT_EQ(s.MassPrec(), 5);
    s.MassPrec(-1);
    EXPECT_EQ(s.MassPrec(), -1);
}

TEST(SettingsRecord, PhysicalUpdateSumsTheThreeFlags) {
    Settings s;
    s.Mass(1);
    s.Volume(1);
    EXPECT_EQ(s.PhysicalUpdate(), 2);
    s.Area(std::numeric_limits<std::int32_t>::max());
    try {
        (void)s.PhysicalUpdate();
        FAIL() << "sum beyond 32 bits must overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    }
}

}  // namespace
}  // namespace bm
