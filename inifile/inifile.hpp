/*
 * inifile.hpp: the configuration library for C++17 and later, header-only,
 * over the C interface of inifile.h. Needs exceptions.
 *
 *   inifile::Document ini = inifile::Document::load("Install.ini");
 *   std::optional<std::string_view> version = ini.get("Install", "VSN");
 *   ini.set("quorvel", "Rootdir", "C:\\dist");
 *   ini.save("out.ini");
 *
 * A Document owns one IniFile and destroys it; it is movable, not copyable
 * (a moved-from Document may only be assigned to or destroyed), and keeps
 * no copy of its own: every name, key and value it hands out is a view
 * into the IniFile's records. Such a view (a std::string_view, an Entry, a
 * SectionView) stays valid as the C library's pointers do: until that
 * element is replaced or removed, or its document is destroyed. Moving a
 * Document keeps them valid. Iterators of sections() last until a section
 * is added; those of entries() until an entry of that section is added or
 * removed. The calls that hand out views (get, section, sections,
 * c_document) do not compile on a temporary Document, whose views would
 * die with it at the end of the statement: name the document first. The
 * calls that return values of their own (get_integer, get_real,
 * get_boolean, contains, to_string) work on any Document.
 *
 * Lookups give the first match, as the C functions do: in a document that
 * repeats a section name or a key, the first one wins. They compare the
 * bytes of the std::string_view with the stored text and copy nothing.
 *
 * Failures throw: LoadError when a file or text cannot be loaded,
 * SaveError when a document cannot be saved, std::invalid_argument for a
 * name, key or value holding a zero byte, which the C strings cannot
 * store. Running out of memory inside the library ends the process, as it
 * does for C callers.
 *
 * Paths are text in the platform's own form, handed to the system as given
 * (on Windows, in the ANSI code page), as with the C functions; one that
 * holds a zero byte is refused, since cut short there it would name
 * another file.
 */
#ifndef INIFILE_HPP
#define INIFILE_HPP

// Below C++17 (clang 14's default is C++14) this one error is all a
// compiler says, rather than a page about string_view.
#if !defined(__cplusplus) || \
    (__cplusplus < 201703L && !(defined(_MSVC_LANG) && _MSVC_LANG >= 201703L))
#error "inifile.hpp needs C++17 or later (C programs include inifile.h)"
#else

#include "inifile.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace inifile {

// One key=value entry, viewed in its section.
struct Entry {
    std::string_view key;
    std::string_view value;
};

class SectionView;

namespace detail {

// Index of the first section called name, or -1: the document's own
// index, with no copy of the name.
inline int32_t section_index(const IniFile *ini, std::string_view name) noexcept
{
    return ini_find_section_index_n(ini, name.data(), name.size());
}

// Index of the first entry with that key, or -1.
inline int32_t entry_index(const IniSection *section, std::string_view key) noexcept
{
    return section_find_key_index_n(section, key.data(), key.size());
}

inline Entry view_of(const IniEntry *entry) noexcept
{
    return {entry->key, entry->value};
}
inline SectionView view_of(const IniSection *section) noexcept;

// Walks an array of record pointers, giving each record as a read-only
// view made on the spot.
template <typename Record, typename View>
class RecordIterator {
  public:
    // An input iterator to older algorithms: the views are made, not stored.
    using iterator_category = std::input_iterator_tag;
    using value_type = View;
    using difference_type = std::ptrdiff_t;
    // const: assigning to a view made for the caller would change nothing
    // in the document, so the compiler refuses it.
    using reference = const View;
    // it->key reaches into the view made on the spot.
    struct pointer {
        reference view;
        const View *operator->() const noexcept { return &view; }
    };

    explicit RecordIterator(Record *const *at = nullptr) noexcept : at_(at) {}

    // NOLINTNEXTLINE(readability-const-return-type): see reference
    reference operator*() const noexcept { return view_of(*at_); }
    pointer operator->() const noexcept { return {view_of(*at_)}; }
    RecordIterator &operator++() noexcept
    {
        ++at_;
        return *this;
    }
    RecordIterator operator++(int) noexcept { return RecordIterator(at_++); }
    bool operator==(RecordIterator other) const noexcept { return at_ == other.at_; }
    bool operator!=(RecordIterator other) const noexcept { return at_ != other.at_; }

  private:
    Record *const *at_;
};

// The records of one array, in order, as views.
template <typename Record, typename View>
class RecordRange {
  public:
    using iterator = RecordIterator<Record, View>;

    RecordRange(Record *const *first, int32_t count) noexcept : first_(first), count_(count) {}

    iterator begin() const noexcept { return iterator(first_); }
    iterator end() const noexcept { return iterator(first_ + count_); }
    std::size_t size() const noexcept { return static_cast<std::size_t>(count_); }
    bool empty() const noexcept { return count_ == 0; }
    // NOLINTNEXTLINE(readability-const-return-type): as the iterator's
    const View operator[](std::size_t index) const noexcept { return view_of(first_[index]); }

  private:
    Record *const *first_;
    int32_t count_;
};

}  // namespace detail

// The entries of a section in order, repeats as they stand.
using EntryRange = detail::RecordRange<const IniEntry, Entry>;
// The sections of a document in order, repeats as they stand.
using SectionRange = detail::RecordRange<const IniSection, SectionView>;

// A read-only view of one section of a document.
class SectionView {
  public:
    explicit SectionView(const IniSection *section) noexcept : section_(section) {}

    std::string_view name() const noexcept { return section_->name; }
    EntryRange entries() const noexcept { return {section_->entries, section_->count}; }

    // Value of the first entry with that key.
    std::optional<std::string_view> get(std::string_view key) const noexcept
    {
        int32_t index = detail::entry_index(section_, key);
        if (index < 0)
            return std::nullopt;
        return section_->entries[index]->value;
    }

    const IniSection *c_section() const noexcept { return section_; }

  private:
    const IniSection *section_;
};

inline SectionView detail::view_of(const IniSection *section) noexcept
{
    return SectionView(section);
}

// What a load or a save reported, as an IniError holds it; what() is the
// message.
class Error : public std::runtime_error {
  public:
    explicit Error(const IniError &error)
        : std::runtime_error(error.message), kind_(error.kind), line_(error.line),
          system_error_(error.system_error)
    {
    }

    IniErrorKind kind() const noexcept { return kind_; }
    // 1-based line where the offending logical line starts; 0 when no line
    // is at fault.
    int line() const noexcept { return line_; }
    // errno, or GetLastError() on Windows, when the system refused.
    int system_error() const noexcept { return system_error_; }

  private:
    IniErrorKind kind_;
    int line_;
    int system_error_;
};

// Why Document::load or Document::parse failed.
class LoadError : public Error {
  public:
    using Error::Error;
};

// Why Document::save or Document::to_string failed.
class SaveError : public Error {
  public:
    using Error::Error;
    // What ini_save returned: -1 (INI_ERROR_CREATE), -2 (INI_ERROR_WRITE) or
    // -3 (INI_ERROR_UNSTORABLE).
    int status() const noexcept
    {
        return kind() == INI_ERROR_WRITE ? -2 : kind() == INI_ERROR_UNSTORABLE ? -3 : -1;
    }
};

namespace detail {

// A path goes to the C functions whole or not at all: in characters of
// the system's width (a std::string, or a std::filesystem path's native
// string).
template <typename String>
const typename String::value_type *whole_path(const String &path, IniErrorKind kind,
                                              const char *what)
{
    if (path.find(typename String::value_type()) == String::npos)
        return path.c_str();
    IniError error{kind, 0, 0, {}};
    std::string message = std::string(what) + ": the path holds a zero byte";
    message.copy(error.message, sizeof error.message - 1);
    if (kind == INI_ERROR_OPEN)
        throw LoadError(error);
    throw SaveError(error);
}

// Refuses a name, key or value that a C string cannot hold whole.
inline void check_storable(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        throw std::invalid_argument(
            "inifile: a section name, key or value cannot hold a zero byte");
}

// The text with its sign as from_chars takes it (a minus only), when it is
// a decimal number as a whole could be: digits, a point, an exponent; no
// hexadecimal, infinity or NaN. Empty otherwise.
inline std::optional<std::string_view> decimal_text(std::optional<std::string_view> text) noexcept
{
    if (!text || text->empty())
        return std::nullopt;
    std::string_view digits = *text;
    if (digits[0] == '+' && digits.size() > 1 && digits[1] != '-')
        digits.remove_prefix(1);
    std::string_view unsigned_part = digits.substr(digits[0] == '-' ? 1 : 0);
    if (unsigned_part.empty() ||
        !((unsigned_part[0] >= '0' && unsigned_part[0] <= '9') || unsigned_part[0] == '.'))
        return std::nullopt;
    for (char c : unsigned_part) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
            return std::nullopt;
    }
    return digits;
}

// The whole of text as a decimal integer, with an optional sign; empty
// when it is not one, or is out of range.
inline std::optional<long long> integer_of(std::optional<std::string_view> text) noexcept
{
    std::optional<std::string_view> digits = decimal_text(text);
    if (!digits)
        return std::nullopt;
    const char *last = digits->data() + digits->size();
    long long value = 0;
    std::from_chars_result read = std::from_chars(digits->data(), last, value);
    if (read.ec != std::errc() || read.ptr != last)
        return std::nullopt;
    return value;
}

// The whole of text as a decimal real number, read the same in every
// locale: strtod takes the decimal point of the program's locale, so the
// '.' is handed to it as that. Empty when it is not one, or is out of
// range. (Not every standard library has from_chars for reals.)
inline std::optional<double> real_of(std::optional<std::string_view> text) noexcept
{
    std::optional<std::string_view> digits = decimal_text(text);
    if (!digits)
        return std::nullopt;
    const char *point = std::localeconv()->decimal_point;
    std::string local;
    for (char c : *digits) {
        if (c == '.')
            local += point;
        else
            local += c;
    }
    char *end = nullptr;
    errno = 0;
    double value = std::strtod(local.c_str(), &end);
    if (errno == ERANGE || end != local.c_str() + local.size())
        return std::nullopt;
    return value;
}

// Whether text equals word (lower case) in any case of its ASCII letters.
inline bool same_word(std::string_view text, std::string_view word) noexcept
{
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c =
            text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != word[i])
            return false;
    }
    return true;
}

// Frees what the C functions hand over for free().
struct FreeBlock {
    void operator()(void *block) const noexcept { std::free(block); }
};

// Destroys an IniFile.
struct DestroyDocument {
    void operator()(IniFile *ini) const noexcept { ini_destroy(ini); }
};

}  // namespace detail

// The dialect a document is read and written in (inifile.h: "Other
// dialects"); all 0, the default, is the installer's format.
using Options = IniOptions;

// The preset that reads the files other programs write.
inline Options common_options() noexcept
{
    Options options{};
    ini_options_common(&options);
    return options;
}

// A configuration document: owns one IniFile.
class Document {
  public:
    // An empty document, saved in the dialect of options;
    // std::invalid_argument for a switch the library does not know.
    explicit Document(const Options &options = Options{}) : ini_(ini_create_with_options(&options))
    {
        if (ini_ == nullptr)
            throw std::invalid_argument("inifile: the options hold a switch this library does "
                                        "not know");
    }
    // Takes over a document made by the C functions; null gives an empty one.
    explicit Document(IniFile *owned) : ini_(owned != nullptr ? owned : ini_create()) {}

    // Reads the file at path in the dialect of options; throws LoadError
    // when it cannot be opened or read, or is not a valid configuration
    // file of that dialect.
    static Document load(const std::string &path, const Options &options = Options{})
    {
        IniError error{};
        IniFile *ini = ini_load_with_options(
            detail::whole_path(path, INI_ERROR_OPEN, "cannot open the file"), &options, &error);
        if (ini == nullptr)
            throw LoadError(error);
        return Document(ini);
    }

    // Reads text, as load reads a file of those bytes; throws LoadError.
    static Document parse(std::string_view text, const Options &options = Options{})
    {
        IniError error{};
        IniFile *ini =
            ini_load_from_memory_with_options(text.data(), text.size(), &options, &error);
        if (ini == nullptr)
            throw LoadError(error);
        return Document(ini);
    }

    // The dialect the document was loaded or created with.
    Options options() const noexcept
    {
        Options options{};
        ini_options_of(ini_.get(), &options);
        return options;
    }

    // Writes the document to path, replacing any file there; throws
    // SaveError, with the reason ini_save_with_error gives, when it fails.
    void save(const std::string &path) const
    {
        IniError error{};
        const char *whole = detail::whole_path(path, INI_ERROR_CREATE, "cannot create the file");
        if (ini_save_with_error(ini_.get(), whole, &error) != 0)
            throw SaveError(error);
    }

    // The text save would write; throws SaveError (INI_ERROR_UNSTORABLE).
    std::string to_string() const
    {
        IniError error{};
        std::size_t length = 0;
        std::unique_ptr<char, detail::FreeBlock> text(
            ini_save_to_memory(ini_.get(), &length, &error));
        if (text == nullptr)
            throw SaveError(error);
        return std::string(text.get(), length);
    }

    // Value of the first entry with that key in the first section of that
    // name.
    std::optional<std::string_view> get(std::string_view section,
                                        std::string_view key) const &noexcept
    {
        std::optional<SectionView> found = this->section(section);
        return found ? found->get(key) : std::nullopt;
    }
    std::optional<std::string_view> get(std::string_view, std::string_view) const && = delete;

    // The first section of that name.
    std::optional<SectionView> section(std::string_view name) const &noexcept
    {
        int32_t index = detail::section_index(ini_.get(), name);
        if (index < 0)
            return std::nullopt;
        return SectionView(ini_->sections[index]);
    }
    std::optional<SectionView> section(std::string_view) const && = delete;

    SectionRange sections() const &noexcept { return {ini_->sections, ini_->count}; }
    SectionRange sections() const && = delete;

    // The value as a decimal integer, real number or boolean (true, yes, on
    // or 1; false, no, off or 0; in any case): empty when it is missing,
    // not one as a whole, or out of range.
    std::optional<long long> get_integer(std::string_view section,
                                         std::string_view key) const noexcept
    {
        return detail::integer_of(get(section, key));
    }
    std::optional<double> get_real(std::string_view section, std::string_view key) const noexcept
    {
        return detail::real_of(get(section, key));
    }
    std::optional<bool> get_boolean(std::string_view section, std::string_view key) const noexcept
    {
        std::optional<std::string_view> value = get(section, key);
        for (std::string_view word : {"true", "yes", "on", "1"}) {
            if (value && detail::same_word(*value, word))
                return true;
        }
        for (std::string_view word : {"false", "no", "off", "0"}) {
            if (value && detail::same_word(*value, word))
                return false;
        }
        return std::nullopt;
    }

    bool contains(std::string_view section, std::string_view key) const noexcept
    {
        return get(section, key).has_value();
    }

    // Sets key to value in the first section of that name, which is
    // appended when the document has none: the first entry with that key
    // changes, or a new entry is appended.
    void set(std::string_view section, std::string_view key, std::string_view value)
    {
        detail::check_storable(section);
        detail::check_storable(key);
        detail::check_storable(value);
        const std::string key_text(key);
        const std::string value_text(value);
        int32_t index = detail::section_index(ini_.get(), section);
        IniSection *target = nullptr;
        if (index >= 0) {
            target = ini_->sections[index];
        } else {
            target = section_create(std::string(section).c_str());
            ini_put_section(ini_.get(), target);
        }
        section_set_value(target, key_text.c_str(), value_text.c_str());
    }

    // Removes the first entry with that key from the first section of that
    // name: true when there was one. The entries after it keep their order
    // (section_remove_key_ordered).
    bool remove(std::string_view section, std::string_view key)
    {
        int32_t index = detail::section_index(ini_.get(), section);
        if (index < 0 || detail::entry_index(ini_->sections[index], key) < 0)
            return false;
        return section_remove_key_ordered(ini_->sections[index], std::string(key).c_str()) == 0;
    }

    // Removes the first section of that name: true when there was one. The
    // sections after it keep their order (ini_remove_section_ordered).
    bool remove_section(std::string_view name)
    {
        return detail::section_index(ini_.get(), name) >= 0 &&
               ini_remove_section_ordered(ini_.get(), std::string(name).c_str()) == 0;
    }

    // The document for the C functions. Changing it through them is
    // allowed from a non-const Document only.
    const IniFile *c_document() const &noexcept { return ini_.get(); }
    IniFile *c_document() &noexcept { return ini_.get(); }
    const IniFile *c_document() const && = delete;

  private:
    std::unique_ptr<IniFile, detail::DestroyDocument> ini_;
};

}  // namespace inifile

#endif  // C++17

#endif
