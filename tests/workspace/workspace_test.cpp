#include "workbench/workspace/workspace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"

namespace bm::workbench {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "bm-workspace-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path_); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const fs::path& path() const { return path_; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string LoadError(const std::string& text) {
    try {
        ParseWorkspace(text, "ws.json");
    } catch (const WorkspaceError& e) {
        return e.what();
    }
    return "(no error)";
}

// Everything a workspace keeps of a document, host calls avoided.
struct DocState {
    std::int32_t kind;
    std::string file, name, massUnit, lengthUnit;
    double grams, squareCm, cubicCm;
    std::vector<std::pair<std::string, Variant>> props;
    std::vector<std::string> refs;  // "=file" resolved, "?file" unresolved
    friend bool operator==(const DocState&, const DocState&) = default;
};

std::vector<DocState> State(const MemoryHost& host) {
    std::vector<DocState> out;
    for (const auto& d : host.Documents()) {
        DocState s{d->kind(),
                   d->full_name(),
                   d->display_name(),
                   d->Units()->mass_unit(),
                   d->Units()->length_unit(),
                   d->MassProps()->grams(),
                   d->MassProps()->square_cm(),
                   d->MassProps()->cubic_cm(),
                   d->Props(),
                   {}};
        for (const auto& r : d->Refs()->refs())
            s.refs.push_back(r->document() ? "=" + r->document()->full_name()
                                           : "?" + r->unresolved_path());
        out.push_back(s);
    }
    return out;
}

constexpr const char* kSample = R"({ "hostVersion": 5,
  "documents": [
    { "file": "C:\\Work\\Bracket.ipt", "kind": "part", "name": "Bracket.ipt",
      "units": { "mass": "kg", "length": "mm" },
      "mass": { "mass": 1250.0, "area": 312.5, "volume": 160.2 },
      "properties": [ { "name": "Part No", "type": "text", "value": "BR-100" },
                      { "name": "Rev", "type": "integer", "value": 3 } ] },
    { "file": "C:\\Work\\Bracket.idw", "kind": "drawing", "name": "Bracket.idw",
      "references": [ "C:\\Work\\Bracket.ipt", "C:\\Work\\Missing.ipt" ],
      "properties": [] } ] })";

TEST(WorkspaceLoad, BuildsTheDocumentsWithResolvedAndUnresolvedReferences) {
    Workspace ws = ParseWorkspace(kSample, "sample.json");
    ASSERT_EQ(ws.host.Documents().size(), 2u);
    const auto part = ws.host.Documents()[0];
    const auto drawing = ws.host.Documents()[1];
    EXPECT_EQ(part->DocKind(), host::kPartDocument);
    EXPECT_EQ(drawing->DocKind(), host::kDrawingDocument);
    EXPECT_EQ(part->Props(),
              (std::vector<std::pair<std::string, Variant>>{{"Part No", Variant("BR-100")},
                                                            {"Rev", Variant(std::int32_t{3})}}));
    EXPECT_EQ(ws.host.App()->HostVersion()->VersionMajor(), 5);

    const auto refs = drawing->FileRefs()->Enumerate();
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0]->FileRefName(), "Bracket.ipt");
    EXPECT_EQ(refs[0]->FileRefFullName(), "C:\\Work\\Bracket.ipt");
    EXPECT_EQ(refs[0]->FileRefDocument(), part);
    EXPECT_EQ(refs[1]->FileRefName(), "Missing");
    EXPECT_EQ(refs[1]->FileRefFullName(), "C:\\Work\\Missing.ipt");
    EXPECT_THROW(refs[1]->FileRefDocument(), Error);

    // Figures stay in internal units; the units service converts them.
    double grams = part->MassProps()->MassValue();
    EXPECT_EQ(grams, 1250.0);
    double kg = grams / 1000.0;
    EXPECT_EQ(part->DocUnits()->UnitConvert(kg, std::int32_t{host::kMassUnitCode}), "1.25 kg");
}

TEST(WorkspaceLoad, ReferencesMayNameALaterDocument) {
    Workspace ws = ParseWorkspace(R"({"documents": [
        {"file": "a.idw", "references": ["b.iam"]}, {"file": "b.iam"}]})",
                                  "ws.json");
    EXPECT_EQ(ws.host.Documents()[0]->Refs()->refs()[0]->document(), ws.host.Documents()[1]);
}

// Two documents that show the same name load, with a warning naming both.
TEST(WorkspaceLoad, DocumentsShownAlikeAreWarnedOf) {
    const Workspace ws = ParseWorkspace("{\"documents\": [{\"file\": \"/w/Shaft.ipt\"},\n"
                                        "  {\"file\": \"/w/Shaft.idw\"}, {\"file\": \"/w/B.idw\", \"name\": \"B\"}]}",
                                        "ws.json");
    EXPECT_EQ(ws.warnings, std::vector<std::string>{"ws.json:2:12: warning: \"/w/Shaft.idw\" shows as \"Shaft\", as "
                                                    "\"/w/Shaft.ipt\" at 1:25 does; give one of them a \"name\" to "
                                                    "tell them apart in the dialogs"});
}

TEST(WorkspaceLoad, LeftOutFieldsTakeTheirDefaults) {
    Workspace ws = ParseWorkspace(R"({"documents": [
        {"file": "C:\\W\\Frame.IAM"}, {"file": "/w/notes.txt"}, {"file": "x.idw", "properties": [
          {"name": "a"}, {"name": "b", "value": 7}, {"name": "c", "value": 7.0},
          {"name": "d", "value": true}, {"name": "e", "value": "2024-03-01"},
          {"name": "f", "type": "integer"}, {"name": "g", "type": "double"},
          {"name": "h", "type": "boolean"}, {"name": "i", "type": "date"}]}]})",
                                  "ws.json");
    EXPECT_EQ(ws.hostVersion, 5);
    const auto docs = State(ws.host);
    EXPECT_EQ(docs[0], (DocState{host::kAssemblyDocument,
                                 "C:\\W\\Frame.IAM",
                                 "Frame",
                                 "kg",
                                 "mm",
                                 0.0,
                                 0.0,
                                 0.0,
                                 {},
                                 {}}));
    EXPECT_EQ(docs[1].kind, host::kPartDocument);
    EXPECT_EQ(docs[1].name, "notes");
    EXPECT_EQ(docs[2].props,
              (std::vector<std::pair<std::string, Variant>>{{"a", Variant("")},
                                                            {"b", Variant(std::int32_t{7})},
                                                            {"c", Variant(7.0)},
                                                            {"d", Variant(true)},
                                                            {"e", Variant("2024-03-01")},
                                                            {"f", Variant(std::int32_t{0})},
                                                            {"g", Variant(0.0)},
                                                            {"h", Variant(false)},
                                                            {"i", Variant(Date{0.0})}}));
    EXPECT_TRUE(ParseWorkspace("{}", "ws.json").host.Documents().empty());
}

TEST(WorkspaceLoad, AcceptsEveryUnitTheUnitsServiceConverts) {
    for (const char* mass : {"mg", "g", "kg", "lbmass", "ozmass", "slug"}) {
        for (const char* length : {"um", "mm", "cm", "m", "km", "mil", "in", "ft", "yd"}) {
            const std::string text =
                std::string(R"({"documents": [{"file": "p.ipt", "units": {"mass": ")") + mass +
                R"(", "length": ")" + length + R"("}}]})";
            Workspace ws = ParseWorkspace(text, "ws.json");
            const auto units = ws.host.Documents()[0]->DocUnits();
            double value = 1.0;
            EXPECT_NO_THROW(units->UnitConvert(value, std::int32_t{host::kMassUnitCode})) << mass;
            EXPECT_NO_THROW(units->UnitConvert(value, std::int32_t{host::kLengthUnitCode})) << length;
        }
    }
}

struct BadFile {
    const char* what;  // the test's name
    std::string text;
    std::string message;  // exactly, after "ws.json:"
};

void PrintTo(const BadFile& bad, std::ostream* os) { *os << bad.what; }

class WorkspaceBadFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(WorkspaceBadFile, NamesThePlaceAndWhatWasExpected) {
    EXPECT_EQ(LoadError(GetParam().text), "ws.json:" + GetParam().message) << GetParam().text;
}

std::string DocText(const std::string& fields) {
    return R"({"documents": [{"file": "p.ipt", )" + fields + "}]}";
}
// A property's "type" and "value" fields; the value starts at column 84 + the type's length.
std::string PropText(const std::string& type, const std::string& value) {
    return DocText(R"("properties": [{"name": "P", "type": ")" + type + R"(", "value": )" + value +
               "}]");
}

const BadFile kBadFiles[] = {
    // Syntax.
    {"Empty", "", "1:1: expected a value: an object, array, string, number, true, false or null"},
    {"MissingComma", "{\"documents\": [\n  {\"file\": \"a.ipt\"}\n  {\"file\": \"b.ipt\"}]}",
     "3:3: expected ',' or ']'; a ',' is likely missing before this"},
    {"TrailingComma", "{\"hostVersion\": 5,\n}",
     "2:1: expected a field name in double quotes or '}'; JSON allows no ',' after the last field: remove the "
     "one before this '}'"},
    {"TrailingCommaInAList", DocText(R"("references": ["a.ipt", ])"),
     "1:58: expected a value: an object, array, string, number, true, false or null; JSON allows no ',' after "
     "the last item: remove the one before this ']'"},
    {"SingleQuotes", "{'documents': []}",
     "1:2: expected a field name in double quotes or '}'; JSON puts strings and field names in double quotes, "
     "not single ones"},
    {"UnterminatedString", "{\"documents\": [{\"file\": \"a.ipt}]}",
     "1:25: expected a closing '\"' for this string"},
    {"RepeatedField", R"({"hostVersion": 5, "hostVersion": 6})",
     "1:20: expected each field once in an object; \"hostVersion\" is there already"},
    {"TextAfterTheObject", "{} x", "1:4: expected the end of the file after the workspace object"},
    {"FileWithoutFileName", R"({"documents": [{"file": "C:\\Work\\", "kind": "part"}]})",
     "1:25: expected a file name after the last folder, or a \"name\" for the document, found "
     "\"C:\\\\Work\\\\\""},
    {"BadEscape", R"({"documents": [{"file": "C:\Work"}]})",
     "1:28: expected an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX"},
    {"LeadingZero", R"({"hostVersion": 05})",
     "1:17: expected a number in JSON's form (like -12, 3.5 or 1e-3), found 05"},
    {"HugeNumber", PropText("double", "1e400"),
     "1:90: expected a number within the range of a double, found 1e400"},
    {"CrlfLines", "{\r\n\"hostVersion\":\r\n true}",
     "3:2: expected a whole number from 0 to 2147483647 for \"hostVersion\", found true"},
    {"DeepNesting", std::string(2000, '['),
     "1:990: expected arrays and objects nested fewer than 990 deep"},
    {"Comment", "{\"hostVersion\": 5, // five\n\"documents\": []}",
     "1:20: expected JSON without comments"},
    {"LineBreakInString", "{\"documents\": [{\"file\": \"a.ipt\n\"}]}",
     "1:25: expected a closing '\"' for this string"},
    {"BrokenUtf8", DocText("\"name\": \"Gr\xC3" "e\""),
     "1:45: expected text in UTF-8, found the byte 0xC3"},
    {"NotUtf8Name", "{\"hostVersion\": 5, \"\xFF\": 1}",
     "1:21: expected text in UTF-8, found the byte 0xFF"},
    {"LoneSurrogate", DocText(R"("name": "a\uDC00")"),
     "1:44: expected \\uD800 to \\uDBFF followed by \\uDC00 to \\uDFFF for a character beyond "
     "U+FFFF"},
    {"NoDigitAfterPoint", R"({"hostVersion": 1.})",
     "1:17: expected a number in JSON's form (like -12, 3.5 or 1e-3), found 1."},
    {"NumberAtTheEnd", "  12",
     "1:3: expected the workspace object { \"hostVersion\": ..., \"documents\": [...] }, found "
     "12"},
    // Places after escapes and empty arrays and objects.
    {"AfterEscapesAndEmpties",
     DocText(R"("name": "\"\\\u00e9\"", "properties": [], "units": {}, "kind": 5)"),
     "1:97: expected text for \"kind\", found 5"},
    // Shape.
    {"RootArray", "[]",
     "1:1: expected the workspace object { \"hostVersion\": ..., \"documents\": [...] }, found an "
     "array"},
    {"UnknownField", DocText(R"("kind": "part", "kidn": "part")"),
     "1:50: unknown field \"kidn\" in a document; expected \"file\", \"kind\", \"name\", "
     "\"units\", \"mass\", \"properties\", \"references\""},
    {"EscapedKey", R"({"hostVersion": 5, "a\"b": 1})",
     "1:20: unknown field \"a\\\"b\" in the workspace; expected \"hostVersion\", \"documents\""},
    {"DocumentsObject", R"({"documents": {}})",
     "1:15: expected an array of documents for \"documents\", found an object"},
    {"NoFile", R"({"documents": [{"kind": "part"}]})",
     "1:16: expected a \"file\" in every document"},
    {"EmptyFile", R"({"documents": [{"file": ""}]})",
     "1:25: expected non-empty text for \"file\", found \"\""},
    {"UnknownKind", DocText(R"("kind": "prt")"),
     "1:42: expected \"part\", \"assembly\", \"drawing\" or \"presentation\" for \"kind\", found "
     "\"prt\""},
    {"DuplicateFile", "{\"documents\": [{\"file\": \"a.ipt\"},\n {\"file\": \"a.ipt\"}]}",
     "2:11: expected each document file once; \"a.ipt\" is also at 1:25"},
    {"UnknownMassUnit", DocText(R"("units": {"mass": "kilo"})"),
     "1:52: expected a mass unit (mg, g, kg, lbmass, ozmass, slug), found \"kilo\""},
    {"LengthExpression", DocText(R"("units": {"length": "mm mm"})"),
     "1:54: expected a length unit (um, mm, cm, m, km, mil, in, ft, yd), found \"mm mm\""},
    {"NegativeMass", DocText(R"("mass": {"area": -1})"),
     "1:51: expected a number not below 0 for \"area\", found -1"},
    {"HostVersionText", R"({"hostVersion": "5"})",
     "1:17: expected a whole number from 0 to 2147483647 for \"hostVersion\", found \"5\""},
    {"NegativeHostVersion", R"({"hostVersion": -1})",
     "1:17: expected a whole number from 0 to 2147483647 for \"hostVersion\", found -1"},
    // Properties.
    {"PropertyWithoutName", DocText(R"("properties": [{"value": 1}])"),
     "1:49: expected a \"name\" in every property"},
    {"DuplicateProperty", DocText(R"("properties": [{"name": "P"}, {"name": "P"}])"),
     "1:73: expected each property name once in a document; \"P\" is also at 1:58"},
    {"UnknownType", PropText("string", "\"x\""),
     "1:71: expected \"text\", \"integer\", \"double\", \"date\" or \"boolean\" for \"type\", "
     "found \"string\""},
    {"IntegerAsText", PropText("integer", "\"3\""),
     "1:91: expected a whole number from -2147483648 to 2147483647 for an \"integer\" property, "
     "found \"3\""},
    {"IntegerTooLarge", PropText("integer", "2147483648"),
     "1:91: expected a whole number from -2147483648 to 2147483647 for an \"integer\" property, "
     "found 2147483648"},
    {"IntegerTooSmall", PropText("integer", "-2147483649"),
     "1:91: expected a whole number from -2147483648 to 2147483647 for an \"integer\" property, "
     "found -2147483649"},
    {"IntegerWithFraction", PropText("integer", "2.5"),
     "1:91: expected a whole number from -2147483648 to 2147483647 for an \"integer\" property, "
     "found 2.5"},
    {"DoubleAsText", PropText("double", "\"2.5\""),
     "1:90: expected a number for a \"double\" property, found \"2.5\""},
    {"BooleanAsNumber", PropText("boolean", "1"),
     "1:91: expected true or false for a \"boolean\" property, found 1"},
    {"TextAsNumber", PropText("text", "12"), "1:88: expected text for a \"text\" property, found 12"},
    {"NoSuchDay", PropText("date", "\"2023-02-29\""),
     "1:88: expected a date like 2024-03-01 or 2024-03-01T12:30:00 for a \"date\" property, found "
     "\"2023-02-29\""},
    {"DateAsNumber", PropText("date", "45352"),
     "1:88: expected a date like 2024-03-01 or 2024-03-01T12:30:00 for a \"date\" property, found "
     "45352"},
    {"UntypedNull", DocText(R"("properties": [{"name": "P", "value": null}])"),
     "1:72: expected a string, number, true or false for \"value\", found null"},
    {"ColumnsCountCharacters",
     DocText(R"("properties": [{"name": "Größe", "type": "boolean", "value": 0}])"),
     "1:95: expected true or false for a \"boolean\" property, found 0"},
    // References.
    {"ReferenceNumber", DocText(R"("references": [12])"),
     "1:49: expected text for a reference, found 12"},
    {"SelfReference", DocText(R"("references": ["p.ipt"])"),
     "1:49: expected the file of another document, not its own, found \"p.ipt\""},
    {"RepeatedReference", DocText(R"("references": ["a.ipt", "a.ipt"])"),
     "1:58: expected each reference once in a document, found \"a.ipt\""},
};

INSTANTIATE_TEST_SUITE_P(Errors, WorkspaceBadFile, ::testing::ValuesIn(kBadFiles),
                         [](const auto& param) { return std::string(param.param.what); });

TEST(WorkspaceLoad, FileThatCannotBeReadNamesItself) {
    Folder folder;
    const fs::path missing = folder.path() / "none.json";
    EXPECT_THROW(
        {
            try {
                LoadWorkspace(missing);
            } catch (const WorkspaceError& e) {
                EXPECT_EQ(std::string(e.what()),
                          missing.string() + ": does not exist");
                throw;
            }
        },
        WorkspaceError);
    EXPECT_THROW(LoadWorkspace(folder.path()), WorkspaceError);
}

TEST(WorkspaceLoad, ErrorsInAFileStartWithItsPath) {
    Folder folder;
    const fs::path file = folder.path() / "bad.json";
    WriteAll(file, "\xEF\xBB\xBF{\"hostVersion\": x}");  // a byte order mark is no column
    try {
        LoadWorkspace(file);
        FAIL() << "no error";
    } catch (const WorkspaceError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, file.string().size() + 6),
                  file.string() + ":1:17:");
    }
}

// A host holding every value type in a chosen order, odd text included.
MemoryHost RichHost() {
    MemoryHost host;
    auto part = host.AddPart("C:\\Work\\Bracket.ipt");
    part->SetDisplayName("Bracket \"B\"")
        .SetUnits("lbmass", "in")
        .SetMassFigures(1250.5, 0.1, 1e-7)
        .AddProp("Zeta", "tab\there \\ \"quoted\" \x01 Größe")
        .AddProp("Long", std::int32_t{std::numeric_limits<std::int32_t>::min()})
        .AddProp("Double", 2.0)
        .AddProp("Tiny", 0.1)
        .AddProp("Day", Date{45352.0})
        .AddProp("Moment", Date{45352.520833333336})
        .AddProp("Early", Date{-1.25})
        .AddProp("Ms", *DateFromIso("2024-03-01T12:30:00.125"))
        .AddProp("Flag", false)
        .AddProp("Alpha", std::int32_t{std::numeric_limits<std::int32_t>::max()});
    auto drawing = host.AddDrawing("C:\\Work\\Bracket.idw");
    drawing->AddRef(part).AddUnresolvedRef("D:\\Lost\\Pin.ipt");
    host.AddAssembly("/work/frame.iam");
    host.AddPresentation("/work/frame.ipn")->AddProp("Short", std::int16_t{-7});
    return host;
}

TEST(WorkspaceSave, RoundTripKeepsEveryDocumentTypeAndOrder) {
    Folder folder;
    const MemoryHost original = RichHost();
    SaveWorkspace(original, 6, folder.path() / "out.json");
    Workspace loaded = LoadWorkspace(folder.path() / "out.json");
    EXPECT_EQ(loaded.hostVersion, 6);

    auto expected = State(original);
    expected[3].props[0].second = Variant(std::int32_t{-7});  // a 16-bit Integer reads back as Long
    EXPECT_EQ(State(loaded.host), expected);

    // Saving what was loaded writes the same text again.
    SaveWorkspace(loaded, folder.path() / "again.json");
    EXPECT_EQ(ReadAll(folder.path() / "again.json"), ReadAll(folder.path() / "out.json"));
}

TEST(WorkspaceSave, WritesTheShapeItReads) {
    MemoryHost host;
    host.AddPart("a.ipt")->AddProp("Rev", std::int32_t{3}).AddProp("When", Date{45352.5});
    EXPECT_EQ(WorkspaceText(host, 5), R"({
  "hostVersion": 5,
  "documents": [
    {
      "file": "a.ipt",
      "kind": "part",
      "name": "a",
      "units": {
        "mass": "kg",
        "length": "cm"
      },
      "mass": {
        "mass": 0.0,
        "area": 0.0,
        "volume": 0.0
      },
      "properties": [
        {
          "name": "Rev",
          "type": "integer",
          "value": 3
        },
        {
          "name": "When",
          "type": "date",
          "value": "2024-03-01T12:00:00"
        }
      ],
      "references": []
    }
  ]
}
)");
    EXPECT_EQ(WorkspaceText(MemoryHost{}, 5), "{\n  \"hostVersion\": 5,\n  \"documents\": []\n}\n");
}

TEST(WorkspaceSave, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    Folder folder;
    const fs::path out = folder.path() / "ws.json";
    WriteAll(out, std::string(10000, 'x'));
    ::chmod(out.c_str(), 0600);
    struct stat before {};
    ::stat(out.c_str(), &before);

    SaveWorkspace(RichHost(), 5, out);

    struct stat after {};
    ::stat(out.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino) << "written in place instead of renamed over";
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadAll(out), WorkspaceText(RichHost(), 5));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"ws.json"});
}

TEST(WorkspaceSave, FailedSaveLeavesTheFolderAsItWas) {
    Folder folder;
    fs::create_directory(folder.path() / "taken");
    EXPECT_THROW(SaveWorkspace(RichHost(), 5, folder.path() / "taken"), WorkspaceError);
    EXPECT_THROW(SaveWorkspace(RichHost(), 5, folder.path() / "no" / "ws.json"), WorkspaceError);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken"});
    EXPECT_TRUE(fs::is_empty(folder.path() / "taken"));
}

TEST(WorkspaceSave, RefusesWhatTheFormatCannotKeep) {
    const std::vector<std::pair<const char*, std::function<void(MemoryHost&)>>> cases = {
        {"empty value", [](MemoryHost& h) { h.AddPart("a.ipt")->AddProp("E", Variant()); }},
        {"bytes",
         [](MemoryHost& h) {
             h.AddPart("a.ipt")->AddProp("B", Bytes{1, 2});
         }},
        {"not a number", [](MemoryHost& h) { h.AddPart("a.ipt")->AddProp("N", std::nan("")); }},
        {"infinite mass",
         [](MemoryHost& h) { h.AddPart("a.ipt")->SetMassFigures(INFINITY, 0, 0); }},
        {"date too late", [](MemoryHost& h) { h.AddPart("a.ipt")->AddProp("D", Date{3e6}); }},
        {"unnamed kind", [](MemoryHost& h) { h.AddDocument(0, "a.xyz"); }},
        {"text not UTF-8", [](MemoryHost& h) { h.AddPart("a.ipt")->AddProp("T", "Gr\xFC" "e"); }},
    };
    for (const auto& [what, make] : cases) {
        Folder folder;
        MemoryHost host;
        make(host);
        EXPECT_THROW(SaveWorkspace(host, 5, folder.path() / "ws.json"), WorkspaceError) << what;
        EXPECT_TRUE(folder.entries().empty()) << what;
    }
}

// The calendar and the text forms are core's; a workspace adds its years.
TEST(WorkspaceDate, KeepsYearsOneTo9999ToTheMillisecond) {
    for (const char* text : {"0001-01-01", "9999-12-31", "2024-03-01T23:59:59.999"}) {
        const auto date = DateFromIso(text);
        ASSERT_TRUE(date.has_value()) << text;
        EXPECT_EQ(IsoFromDate(*date), text);
    }
    EXPECT_DOUBLE_EQ(DateFromIso("0001-01-01")->serial, -693593.0);
    EXPECT_FALSE(DateFromIso("0000-12-31").has_value());
    EXPECT_FALSE(DateFromIso("2024-04-31").has_value());
    EXPECT_FALSE(IsoFromDate(Date{2958466.0}).has_value());
    EXPECT_FALSE(IsoFromDate(Date{-693594.0}).has_value());
    EXPECT_FALSE(IsoFromDate(Date{std::nan("")}).has_value());
}

}  // namespace
}  // namespace bm::workbench
