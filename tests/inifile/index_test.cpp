// Lookups by name against a plain list: random sequences of every call
// that changes a document, on loaded documents (whose blocks come from
// their arena) and on documents built by calls, each step compared with a
// model kept as the records' documented rules say, and every lookup with
// the first match a scan finds. The sanitizer builds see every block freed
// once.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const auto name_of = [](const SectionShape &section) { return section.name; };
const auto key_of = [](const std::pair<std::string, std::string> &entry) { return entry.first; };

// The first element of the model's list called name, as a scan finds it.
template <typename List, typename Name>
int32_t first_in(const List &list, const std::string &name, Name name_of)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (name_of(list[i]) == name)
            return static_cast<int32_t>(i);
    }
    return -1;
}

// Removal as the records' rule has it: the last element fills the hole,
// or (ordered) the rest move up.
template <typename List>
void remove_at(List &list, int32_t index, bool ordered)
{
    if (ordered) {
        list.erase(list.begin() + index);
        return;
    }
    list[index] = list.back();
    list.pop_back();
}

void check_lookups(const IniFile *ini, const DocShape &model, int names)
{
    ASSERT_EQ(document_shape(ini), model);
    for (int n = 0; n < names; ++n) {
        std::string name = "n" + std::to_string(n);
        int32_t wanted = first_in(model, name, name_of);
        ASSERT_EQ(ini_find_section_index(ini, name.c_str()), wanted) << name;
        ASSERT_EQ(ini_find_section_index_n(ini, (name + "!").c_str(), name.size()), wanted);
        for (const SectionShape &section : model) {
            int32_t key = first_in(section.entries, name, key_of);
            IniSection *found = ini->sections[&section - model.data()];
            ASSERT_EQ(section_find_key_index(found, name.c_str()), key) << section.name << name;
        }
    }
}

TEST(Index, RandomChangesFindWhatAScanFinds)
{
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        // Few names, so that repeats and the tables' growth past their
        // smallest size both happen; every other run starts from a loaded
        // text that repeats names.
        const int names = 2 + static_cast<int>(random() % 40);
        auto pick = [&] { return "n" + std::to_string(random() % names); };
        std::string text;
        for (int s = 0; seed % 2 == 0 && s < 60; ++s) {
            text += "[" + pick() + "]\n";
            for (unsigned e = random() % 25; e > 0; --e)
                text += pick() + " = v" + std::to_string(e) + "\n";
        }
        IniFile *ini =
            seed % 2 == 0 ? ini_load_from_memory(text.data(), text.size(), nullptr) : ini_create();
        ASSERT_NE(ini, nullptr);
        DocShape model = document_shape(ini);
        for (int step = 0; step < 400; ++step) {
            std::string name = pick();
            std::string key = pick();
            std::string value = "s" + std::to_string(step);
            int32_t at = first_in(model, name, name_of);
            const bool ordered = random() % 2 == 0;
            switch (random() % 5) {
            case 0: {  // a new section, or a clone of the one there in its place
                SectionShape shape{name, {}};
                IniSection *made = nullptr;
                if (at >= 0 && random() % 2) {
                    made = section_clone(ini->sections[at], name.c_str());
                    for (const auto &entry : model[at].entries) {
                        if (first_in(shape.entries, entry.first, key_of) < 0)
                            shape.entries.push_back(entry);
                    }
                } else {
                    made = section_create(name.c_str());
                }
                EXPECT_EQ(ini_put_section(ini, made), at < 0 ? 1 : 0);
                if (at < 0)
                    model.push_back(shape);
                else
                    model[at] = shape;
                break;
            }
            case 1:
                EXPECT_EQ(
                    (ordered ? ini_remove_section_ordered : ini_remove_section)(ini, name.c_str()),
                    at < 0 ? 1 : 0);
                if (at >= 0)
                    remove_at(model, at, ordered);
                break;
            case 2:
            case 3: {
                if (at < 0)
                    break;
                auto &entries = model[at].entries;
                int32_t e = first_in(entries, key, key_of);
                EXPECT_EQ(section_set_value(ini->sections[at], key.c_str(), value.c_str()),
                          e < 0 ? 1 : 0);
                if (e < 0)
                    entries.emplace_back(key, value);
                else
                    entries[e].second = value;
                break;
            }
            default: {
                if (at < 0)
                    break;
                auto &entries = model[at].entries;
                int32_t e = first_in(entries, key, key_of);
                EXPECT_EQ((ordered ? section_remove_key_ordered
                                   : section_remove_key)(ini->sections[at], key.c_str()),
                          e < 0 ? 1 : 0);
                if (e >= 0)
                    remove_at(entries, e, ordered);
            }
            }
            check_lookups(ini, model, names);
            if (HasFatalFailure())
                break;
        }
        ini_destroy(ini);
    }
}

}  // namespace
