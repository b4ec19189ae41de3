// Documents that keep their layout: a text loaded, changed by calls and
// saved, against the text it must become; every case with line feeds and
// again with CR LF line ends.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct LayoutCase {
    const char *description;
    uint32_t flags;
    std::string text;
    // One call a line: "set s k v", "del s k" and "delsec s" (keeping the
    // order), "swap s k" and "swapsec s" (the last moved into the hole),
    // "put s k v" (a new section of one entry put in), "clone s t".
    std::string edits;
    std::string saved;  // or, when the save refuses, its message
};

void apply(IniFile *ini, const std::string &edits)
{
    std::istringstream lines(edits);
    std::string call;
    std::string section;
    std::string key;
    std::string value;
    while (lines >> call >> section) {
        IniSection *found = ini_get_section(ini, section.c_str());
        if (call == "delsec" || call == "swapsec") {
            (call == "delsec" ? ini_remove_section_ordered : ini_remove_section)(ini,
                                                                                 section.c_str());
            continue;
        }
        lines >> key;
        if (call == "clone") {
            ini_put_section(ini, section_clone(found, key.c_str()));
        } else if (call == "del" || call == "swap") {
            (call == "del" ? section_remove_key_ordered : section_remove_key)(found, key.c_str());
        } else {
            std::getline(lines >> std::ws, value);
            for (size_t at; (at = value.find("\\n")) != std::string::npos;)
                value.replace(at, 2, "\n");
            IniSection *made = call == "put" ? section_create(section.c_str()) : found;
            section_set_value(made, key.c_str(), value.c_str());
            if (call == "put")
                ini_put_section(ini, made);
        }
    }
}

std::string crlf(std::string text)
{
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, "\r");
    return text;
}

TEST(Layout, EditsChangeOnlyTheirLines)
{
    const uint32_t keep = INI_KEEP_LAYOUT;
    IniOptions options;
    ini_options_common(&options);
    const uint32_t common = options.flags;
    const std::string smb = "[global]\n\n## Names ###\n\n# the group\n   workgroup = WORKGROUP\n"
                            "   netbios = %h ; note\n\n# shares\n[homes]\n   browseable = no\n";
    const std::vector<LayoutCase> cases = {
        {"nothing changed", common, "\xEF\xBB\xBF# top\n[s]\n\tk :  v  # x\n\n  [t] ; n\nx", "",
         "\xEF\xBB\xBF# top\n[s]\n\tk :  v  # x\n\n  [t] ; n\nx"},
        {"a value set to what it was", keep, "[s]\nk = a\\;b ; c\n", "set s k a;b",
         "[s]\nk = a\\;b ; c\n"},
        {"a value changed", keep, smb, "set global workgroup MINE",
         "[global]\n\n## Names ###\n\n# the group\n   workgroup = MINE\n"
         "   netbios = %h ; note\n\n# shares\n[homes]\n   browseable = no\n"},
        {"its comment stays", keep, smb, "set global netbios C:\\x;y",
         "[global]\n\n## Names ###\n\n# the group\n   workgroup = WORKGROUP\n"
         "   netbios = C:\\\\x\\;y ; note\n\n# shares\n[homes]\n   browseable = no\n"},
        {"lines for a value that needs them", common, "[s]\n  k = a\n      b\n# c\nz=1\n",
         "set s k x\\n\\ny", "[s]\n  k = x\n\n      y\n# c\nz=1\n"},
        {"a key added after the section's last", keep, smb, "set global added 1",
         "[global]\n\n## Names ###\n\n# the group\n   workgroup = WORKGROUP\n"
         "   netbios = %h ; note\n   added = 1\n\n# shares\n[homes]\n   browseable = no\n"},
        {"a key added to a last line without its line end", common, "[s]\nk: v", "set s n 1",
         "[s]\nk: v\nn: 1\n"},
        {"a section added after a blank line", keep, "[a]\nx=1\n\n[b]\ny=2\n", "put c k v",
         "[a]\nx=1\n\n[b]\ny=2\n\n[c]\nk=v\n"},
        {"a section added to sections without blank lines", keep, "[a]\nx=1\n[b]\n", "put c k v",
         "[a]\nx=1\n[b]\n[c]\nk=v\n"},
        {"a key removed with the comments right above it", keep, smb, "del global workgroup",
         "[global]\n\n## Names ###\n\n   netbios = %h ; note\n\n# shares\n[homes]\n"
         "   browseable = no\n"},
        {"a section removed: blank lines collapse", keep,
         "[a]\nx=1\n\n# about b\n[b]\ny=2\n\n[c]\n", "delsec b", "[a]\nx=1\n\n[c]\n"},
        {"the last section removed", keep, "[a]\nx=1\n\n[b]\ny=2\n# end\n", "delsec b",
         "[a]\nx=1\n\n# end\n"},
        {"a section put in place of another", keep, "# first\n[a]\nx=1\n# second\n[b]\ny=2\n",
         "put a k v", "# first\n[a]\nk=v\n# second\n[b]\ny=2\n"},
        {"a clone written fresh", keep, "[a]\n  x = 1\n", "clone a b",
         "[a]\n  x = 1\n[b]\n  x = 1\n"},
        {"the last entry moved into the hole, with its lines", keep, "[s]\na=1\n# b\nb=2\nc=3\n",
         "swap s a", "[s]\nc=3\n# b\nb=2\n"},
        {"the last section moved into the hole", keep, "[a]\n[b]\nx=1\n[c]\n", "swapsec a",
         "[c]\n[b]\nx=1\n"},
        {"two keys removed in a row", keep, "[s]\n\n# a\na=1\n\n# b\nb=2\nc=3\n",
         "del s a\ndel s b", "[s]\n\n\nc=3\n"},
        {"a section removed after its last key", keep, "[a]\nx=1\n\ny=2\n[b]\nz=3\n",
         "del a y\ndelsec a", "\n[b]\nz=3\n"},
        {"a section put in place of one that lost its last key", keep, "[a]\nx=1\n\ny=2\n[b]\n",
         "del a y\nput a k v", "[a]\nk=v\n\n[b]\n"},
        {"every section removed", keep, "# top\n[a]\nx=1\n# end\n", "delsec a", "# end\n"},
        {"values set where there was none", common, "[my]\n  k = a\n\n    b\nskip-x\nport =\n",
         "set my skip-x 1\nset my port 3306\nset my k z", "[my]\n  k = z\nskip-x=1\nport =3306\n"},
        {"what the dialect cannot carry", common, "[s]\nk = v\n", "set s a:b 1",
         "section \"s\", key \"a:b\": a key cannot hold ':' (INI_COLON_DELIMITS)"},
    };
    for (const LayoutCase &c : cases) {
        for (bool feeds : {true, false}) {
            SCOPED_TRACE(std::string(c.description) + (feeds ? "" : ", CR LF"));
            const std::string text = feeds ? c.text : crlf(c.text);
            const IniOptions with = {c.flags, {}};
            IniError error;
            IniFile *ini =
                ini_load_from_memory_with_options(text.data(), text.size(), &with, &error);
            ASSERT_NE(ini, nullptr) << error.message;
            apply(ini, c.edits);
            size_t length = 0;
            char *saved = ini_save_to_memory(ini, &length, &error);
            const std::string wanted = saved == nullptr || feeds ? c.saved : crlf(c.saved);
            EXPECT_EQ(saved != nullptr ? std::string(saved, length) : std::string(error.message),
                      wanted);
            free(saved);
            ini_destroy(ini);
        }
    }
}

}  // namespace
