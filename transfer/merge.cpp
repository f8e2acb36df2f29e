#include "transfer/merge.h"

#include "core/convert.h"

namespace bm::transfer {

namespace {

// `text` without leading and trailing space characters (only the blank:
// tabs and other white space stay part of the name).
std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::string ModelPrefix(std::string_view modelName) {
    return TrimBlanks(modelName) + "_";
}

std::string TargetName(std::string_view prefix, std::string_view sourceName) {
    return std::string(prefix) + TrimBlanks(sourceName);
}

host::Ref<host::PropertySet> UserDefinedProps(host::Document& doc) {
    return doc.DocPropertySets()->Item(host::UserDefinedFmtid);
}

IndexedMerge::IndexedMerge(host::PropertySet& target, NameMatch match)
    : target_(target), match_(match) {}

std::string IndexedMerge::Key(std::string_view name) const {
    return match_ == NameMatch::kCaseBlind ? upper_case(name) : std::string(name);
}

host::Ref<host::Property> IndexedMerge::Find(const std::string& key) {
    if (auto hit = first_.find(key); hit != first_.end()) return hit->second;
    // Names not read yet all stand before anything this run appended (an
    // append needs a full miss first), so reading on keeps "first" first.
    while (namesRead_ < existing_.size()) {
        const auto& prop = existing_[namesRead_];
        const std::string name = prop->PropName();
        ++namesRead_;
        const auto [at, added] = first_.emplace(Key(name), prop);
        if (added && at->first == key) return prop;
    }
    return nullptr;
}

void IndexedMerge::Merge(const std::string& name, const Variant& value, bool updateExistOnly) {
    if (!loaded_) {
        existing_ = target_.Enumerate();
        count_ = static_cast<std::int64_t>(existing_.size());
        loaded_ = true;
    }
    count16(count_, "properties in the drawing's set");
    const std::string key = Key(name);
    if (auto prop = Find(key)) {
        prop->PropValue(value);
        return;
    }
    if (updateExistOnly) return;
    auto added = target_.PropAdd(value, name);
    ++count_;
    first_.emplace(key, std::move(added));
}

}  // namespace bm::transfer
