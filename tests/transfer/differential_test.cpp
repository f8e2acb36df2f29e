// The indexed merge against the plain scan over thousands of random drawings
// and models: both must leave every drawing exactly alike (names, order,
// values and their types) and fail, when they fail, in the same way.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <random>
#include <sstream>

#include "core/error.h"
#include "tests/transfer/transfer_testing.h"

namespace bm::transfer::testing {
namespace {

class Dice {
public:
    explicit Dice(std::uint64_t seed) : rng_(seed) {}
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool OneIn(int n) { return Below(n) == 0; }
    template <class T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(N)))];
    }
    std::mt19937_64& rng() { return rng_; }

private:
    std::mt19937_64 rng_;
};

// Names built to collide: a few words, letter case flipped at random (the
// accented letters too), blanks around them now and then.
std::string RandomName(Dice& d) {
    static const char* const kWords[] = {"part no", "material", "rev", "finish", "matériau",
                                         "öl", "état", "x", "model_mass_value",
                                         "model_area_units"};
    static const std::pair<const char*, const char*> kAccents[] = {{"é", "É"}, {"ö", "Ö"}};
    std::string word = d.Pick(kWords);
    std::string name;
    const int caseStyle = d.Below(4);  // as written, upper, capitalised, mixed
    for (std::size_t i = 0; i < word.size(); ++i) {
        bool upper = caseStyle == 1 || (caseStyle == 2 && i == 0) || (caseStyle == 3 && d.OneIn(2));
        bool accent = false;
        for (const auto& [lower, capital] : kAccents) {
            if (word.compare(i, std::char_traits<char>::length(lower), lower) == 0) {
                name += upper ? capital : lower;
                i += std::char_traits<char>::length(lower) - 1;
                accent = true;
                break;
            }
        }
        if (!accent) name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(word[i]))) : word[i];
    }
    // The six physical names, as the drawing may already hold them.
    if (d.OneIn(12)) name = d.Pick({kMassValueName, kAreaUnitsName, kVolumeValueName});
    if (d.OneIn(5)) name = std::string(static_cast<std::size_t>(d.Below(3)), ' ') + name + "  ";
    return name;
}

Variant RandomValue(Dice& d) {
    switch (d.Below(9)) {
        case 0: return Variant();
        case 1: return d.OneIn(2);
        case 2: return static_cast<std::int16_t>(d.Below(2000) - 1000);
        case 3: return static_cast<std::int32_t>(d.Below(1 << 30));
        case 4: return d.Below(100000) / 64.0;
        case 5: return Date{36000.0 + d.Below(10000) / 4.0};
        case 6: return d.OneIn(60) ? Variant(Bytes{1, 2}) : Variant("v" + std::to_string(d.Below(100)));
        default: return "text " + std::to_string(d.Below(1000));
    }
}

struct Trial {
    Scene scene;
    Settings settings;
    bool erase = false;
    bool selective = false;
    bool physical = false;
    std::uint64_t choiceSeed = 0;
};

Trial RandomTrial(Dice& d) {
    static const char* const kModelNames[] = {"Bracket", " Bracket ", "bracket", "Pin", "Ölwanne"};
    static const std::int32_t kKinds[] = {host::kPartDocument, host::kAssemblyDocument,
                                          host::kPresentationDocument};

    Trial t;
    const int drawingSize = d.Below(9);
    for (int i = 0; i < drawingSize; ++i) t.scene.drawing.push_back({RandomName(d), RandomValue(d)});
    const int models = d.Below(5);
    for (int m = 0; m < models; ++m) {
        Model model{"C:/Work/M" + std::to_string(m) + ".ipt"};
        model.kind = d.Pick(kKinds);
        model.displayName = d.Pick(kModelNames);
        model.unresolved = d.OneIn(40);
        const int props = d.Below(7);
        for (int p = 0; p < props; ++p) model.props.push_back({RandomName(d), RandomValue(d)});
        t.scene.models.push_back(model);
    }
    Settings& s = t.settings;
    s.PrefaceModel(d.Below(2));
    s.UpdateExistOnly(d.OneIn(3) ? 1 : 0);
    t.erase = d.OneIn(4);
    t.selective = d.OneIn(3);
    t.physical = d.OneIn(3);
    for (auto f : {Settings::kMass, Settings::kArea, Settings::kVolume, Settings::kMassZero,
                   Settings::kAreaZero, Settings::kVolumeZero})
        s.put(f, d.Below(2));
    for (auto f : {Settings::kMassPrec, Settings::kAreaPrec, Settings::kVolumePrec}) s.put(f, d.Below(4));
    t.choiceSeed = d.rng()();
    return t;
}

// Units and figures for the models, set the same way in both worlds.
void DressModels(World& w, std::uint64_t seed) {
    static const char* const kMassUnits[] = {"kg", "g", "lbmass"};
    static const char* const kLengthUnits[] = {"mm", "cm", "in"};
    Dice d(seed);
    for (const auto& ref : w.drawing->Refs()->refs()) {
        auto doc = ref->document();
        if (!doc) continue;
        doc->SetUnits(d.Pick(kMassUnits), d.Pick(kLengthUnits));
        doc->SetMassFigures(d.Below(100000) / 8.0, d.Below(10000) / 16.0, d.Below(10000) / 32.0);
    }
}

// The person unchecks some rows (model rows too, which the copy ignores)
// and mostly confirms.
void ExpectChoices(portable::HeadlessRuntime& runtime, std::uint64_t seed) {
    runtime.Expect<select::frmFiles>("files", [seed](select::frmFiles& f) {
        Dice d(seed);
        select::OutlineGrid& g = f.fgFiles();
        for (std::int32_t r = 0; r < g.Rows(); ++r)
            if (d.OneIn(4)) g.SetChecked(r, 1, false);
        if (d.OneIn(10)) f.cmdCancel_Click();
        else f.cmdOK_Click();
    });
}

// Everything a failing trial needs to be replayed by hand.
std::string TrialText(int index, const Trial& t, std::uint64_t dressSeed) {
    std::ostringstream os;
    os << "trial " << index << (t.erase ? ", erase first" : "")
       << (t.selective ? ", selective" : ", direct") << (t.physical ? ", physical" : "")
       << "; settings " << SettingsText(t.settings) << "; choice seed " << t.choiceSeed
       << ", dress seed " << dressSeed << "\n  ";
    PrintTo(t.scene, &os);
    return os.str();
}

struct Outcome {
    Props drawing;
    std::optional<ErrorKind> failure;
};

// One copy sequence: erase, copy (direct or selective), physical, with the
// production merges or, for `reference`, with the plain scans.
Outcome RunTrial(const Trial& t, std::uint64_t dressSeed, bool reference) {
    World w(t.scene);
    DressModels(w, dressSeed);
    portable::HeadlessRuntime runtime;
    Outcome out;
    try {
        if (t.erase) EraseCustomProps(w.target());
        ScanMerge scan(w.target());
        if (t.selective) {
            ExpectChoices(runtime, t.choiceSeed);
            if (reference) SelectAndCopyProps(t.settings, runtime, w.refs(), scan);
            else SelectAndCopyProps(t.settings, runtime, w.refs(), w.target());
        } else {
            if (reference) CopyAllProps(t.settings, w.refs(), scan);
            else CopyAllProps(t.settings, w.refs(), w.target());
        }
        if (t.physical) {
            PhysicalScanMerge physical(w.target());
            if (reference) GetPhysicalProps(t.settings, *w.drawing, physical);
            else GetPhysicalProps(t.settings, *w.drawing, w.target());
        }
    } catch (const Error& e) {
        out.failure = e.kind();
    }
    out.drawing = w.Result();
    return out;
}

TEST(IndexedMergeDifferential, MatchesThePlainScanOnRandomDrawings) {
    constexpr int kTrials = 4000;
    Dice dice(20240611);
    int failures = 0, selective = 0, changed = 0;
    for (int i = 0; i < kTrials; ++i) {
        const Trial t = RandomTrial(dice);
        const std::uint64_t dressSeed = dice.rng()();
        const Outcome indexed = RunTrial(t, dressSeed, false);
        const Outcome scanned = RunTrial(t, dressSeed, true);
        ASSERT_EQ(indexed.drawing, scanned.drawing) << TrialText(i, t, dressSeed);
        ASSERT_EQ(indexed.failure, scanned.failure) << TrialText(i, t, dressSeed);
        failures += indexed.failure.has_value();
        selective += t.selective;
        changed += indexed.drawing != t.scene.drawing;
    }
    // The trials reach what they are meant to: failures, both paths, and
    // drawings that the copy changes.
    EXPECT_GT(failures, kTrials / 50);
    EXPECT_GT(selective, kTrials / 5);
    EXPECT_GT(changed, kTrials / 2);
}

}  // namespace
}  // namespace bm::transfer::testing
