#include "workbench/script.h"

#include "workbench/text.h"

#include <algorithm>
#include <charconv>
#include <functional>

namespace bm::workbench {

namespace {

std::string_view BaseName(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string DocumentList(const MemoryHost& host) {
    std::string list;
    for (const auto& d : host.Documents())
        list += (list.empty() ? "" : ", ") + d->display_name() + " (" + d->full_name() + ")";
    return list.empty() ? "none" : list;
}

// Where the workspace mentions `name` as a reference to a document it
// does not hold, for a clearer message.
std::string UnresolvedMention(const MemoryHost& host, std::string_view name) {
    for (const auto& d : host.Documents())
        for (const auto& ref : d->Refs()->refs()) {
            const std::string& path = ref->unresolved_path();
            if (path.empty()) continue;
            if (path == name || BaseName(path) == name || DisplayNameOf(path) == name)
                return " (" + path + " is an unresolved reference of " + d->display_name() +
                       ": the workspace does not hold its document)";
        }
    return {};
}

std::string Rest(std::string_view line, std::size_t words) {
    std::string_view rest = Trim(line);
    for (std::size_t i = 0; i < words; ++i) {
        while (!rest.empty() && !IsBlank(rest.front())) rest.remove_prefix(1);
        rest = Trim(rest);
    }
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
    return std::string(rest);
}

std::int32_t CommandId(const std::string& word) {
    const std::string lower = Lower(word);
    if (lower == "options") return kOptionsCommand;
    if (lower == "copy") return kCopyCommand;
    std::int32_t id = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), id);
    if (ec != std::errc() || end != word.data() + word.size())
        throw ScriptError("command takes options, copy or a command number, not '" + word + "'");
    return id;
}

void NoMoreWords(const std::vector<std::string>& words, std::size_t expected, const std::string& step) {
    if (words.size() > expected)
        throw ScriptError("'" + step + "' takes nothing more, but '" + words[expected] + "' follows");
}

}  // namespace

std::shared_ptr<MemoryDocument> FindDocumentNamed(const MemoryHost& host, std::string_view name) {
    using Key = std::function<std::string(const MemoryDocument&)>;
    const std::vector<std::pair<Key, bool>> tries{
        // The file name with its extension comes before the display name, so
        // that it always reaches its document, whatever others are called.
        {[](const MemoryDocument& d) { return d.full_name(); }, false},
        {[](const MemoryDocument& d) { return std::string(BaseName(d.full_name())); }, false},
        {[](const MemoryDocument& d) { return d.display_name(); }, false},
        {[](const MemoryDocument& d) { return Lower(d.full_name()); }, true},
        {[](const MemoryDocument& d) { return Lower(BaseName(d.full_name())); }, true},
        {[](const MemoryDocument& d) { return Lower(d.display_name()); }, true},
    };
    for (const auto& [key, lower] : tries) {
        const std::string wanted = lower ? Lower(name) : std::string(name);
        std::vector<std::shared_ptr<MemoryDocument>> found;
        for (const auto& d : host.Documents())
            if (key(*d) == wanted) found.push_back(d);
        if (found.size() == 1) return found.front();
        if (found.size() > 1) {
            std::string files;
            for (const auto& d : found) files += (files.empty() ? "" : ", ") + d->full_name();
            throw ScriptError("'" + std::string(name) + "' names several documents (" + files +
                              "); give the file instead");
        }
    }
    throw ScriptError("no document '" + std::string(name) + "' in the workspace" +
                      UnresolvedMention(host, name) + "; it holds " + DocumentList(host));
}

std::optional<Step> ParseStep(std::string_view line, int number, const MemoryHost& host) {
    const std::string_view text = Trim(line);
    if (text.empty() || text.front() == '#') return std::nullopt;
    const std::vector<std::string> words = Words(text);
    Step step;
    step.line = number;
    step.text = std::string(text);
    const std::string verb = Lower(words[0]);

    if (verb == "addin") {
        const std::string what = words.size() > 1 ? Lower(words[1]) : "";
        if (what != "load" && what != "unload")
            throw ScriptError("addin takes load or unload" +
                              (words.size() > 1 ? ", not '" + words[1] + "'" : std::string()));
        NoMoreWords(words, 2, "addin " + what);
        step.type = what == "load" ? Step::Type::kAddInLoad : Step::Type::kAddInUnload;
    } else if (verb == "open" || verb == "show") {
        const std::string name = Rest(text, 1);
        if (name.empty()) throw ScriptError(verb + " needs a document: its file or its name");
        step.type = verb == "open" ? Step::Type::kOpen : Step::Type::kShow;
        step.document = FindDocumentNamed(host, name);
    } else if (verb == "command") {
        if (words.size() < 2) throw ScriptError("command needs options, copy or a command number");
        NoMoreWords(words, 2, "command " + words[1]);
        step.type = Step::Type::kCommand;
        step.commandId = CommandId(words[1]);
    } else if (verb == "commands" || verb == "settings" || verb == "registry" || verb == "calls") {
        NoMoreWords(words, 1, verb);
        step.type = verb == "commands"   ? Step::Type::kCommands
                    : verb == "settings" ? Step::Type::kSettings
                    : verb == "registry" ? Step::Type::kRegistry
                                         : Step::Type::kCalls;
    } else if (verb == "batch") {
        NoMoreWords(words, 1, verb);
        step.type = Step::Type::kBatch;
    } else if (verb == "expect") {
        if (words.size() < 2) throw ScriptError("expect needs a dialog kind: options, files, about or message");
        step.type = Step::Type::kExpect;
        try {
            step.dialog = KindFromName(words[1]);
            step.actions = ParseActions(step.dialog, {words.begin() + 2, words.end()}, true);
        } catch (const ActionSyntaxError& e) {
            throw ScriptError("expect " + Lower(words[1]) + ": " + e.what());
        }
    } else {
        throw UnknownStep("unknown step '" + words[0] +
                          "'; expected addin, open, show, command, commands, settings, registry, calls, batch or expect");
    }
    return step;
}

std::vector<Step> ParseScript(std::string_view text, const std::string& name, const MemoryHost& host) {
    std::vector<Step> steps;
    const Step* waiting = nullptr;  // the first expectation no step has had the chance to use
    std::size_t pos = 0;
    for (int number = 1;; ++number) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        try {
            if (auto step = ParseStep(text.substr(pos, end - pos), number, host))
                steps.push_back(std::move(*step));
        } catch (const ScriptError& e) {
            throw ScriptError(name + ":" + std::to_string(number) + ": " + e.what());
        }
        if (end == text.size()) break;
        pos = end + 1;
    }
    for (const Step& step : steps) {
        if (step.type == Step::Type::kExpect && !waiting) waiting = &step;
        if (step.Acts()) waiting = nullptr;
    }
    if (waiting)
        throw ScriptError(name + ":" + std::to_string(waiting->line) + ": expect " +
                          std::string(KindName(waiting->dialog)) +
                          ": no step after it can open the dialog (addin, open or command)");
    return steps;
}

std::string StepHelp() {
    std::string help =
        "Steps, one per line ('#' starts a comment line):\n"
        "  addin load               register the add-in if needed, create and activate it\n"
        "  addin unload             deactivate and release the add-in (its settings are saved)\n"
        "  open DOC                 make DOC the active document (by its file or its name)\n"
        "  command options|copy|N   pick one of the add-in's commands\n"
        "  commands                 list the add-in's commands and whether they are greyed out\n"
        "  show DOC                 print DOC's custom properties (name, type, value)\n"
        "  settings                 print the add-in's fourteen settings\n"
        "  registry                 print the values stored under the settings key\n"
        "  calls                    count the host calls the add-in made, by operation\n"
        "  batch                    open every drawing in turn and copy into it, without\n"
        "                           dialogs; a drawing whose copy failed is left as it was\n"
        "  expect KIND ACTION...    what the person does in the next dialog of KIND,\n"
        "                           ending with the action that closes it\n";
    return help;
}

std::string ExpectHelp() {
    std::string help = "What a person does in each dialog (expect KIND ACTION... in a script):\n";
    for (auto kind : {DialogKind::kOptions, DialogKind::kFiles, DialogKind::kAbout, DialogKind::kMessage}) {
        help += "\n  expect " + std::string(KindName(kind)) + " (the " + std::string(KindTitle(kind)) + "):\n";
        for (const auto& line : ActionHelp(kind)) help += "    " + line + "\n";
    }
    help += "\n  Menu tools:";
    for (const auto& tool : MenuToolNames()) help += " " + tool;
    help += "\n  Rows count from 1 over the whole outline, folded rows included.\n";
    return help;
}

}  // namespace bm::workbench
