/*
 * inifile.hpp: the configuration library for C++ programs, header-only,
 * over the C interface of inifile.h. Needs C++20 and exceptions.
 *
 *   inifile::Document ini = inifile::Document::load("Install.ini");
 *   std::optional<std::string_view> version = ini.get("Install", "VSN");
 *   ini.set("quorvel", "Rootdir", "C:\\dist");
 *   ini.save("out.ini");
 *
 * A Document owns one IniFile and destroys it; it is movable, not copyable,
 * and keeps no copy of its own: every name, key and value it hands out is a
 * view into the IniFile's records. Such a view (a std::string_view, an
 * Entry, a SectionView) stays valid as the C library's pointers do: until
 * that element is replaced or removed, or its document is destroyed.
 * Moving a Document keeps them valid. Iterators of sections() last until a
 * section is added; those of entries() until an entry of that section is
 * added or removed.
 *
 * Lookups give the first match, as the C functions do: in a document that
 * repeats a section name or a key, the first one wins. They compare the
 * bytes of the std::string_view with the stored text and copy nothing.
 *
 * Failures throw: LoadError when a file cannot be loaded, SaveError when a
 * document cannot be saved, std::invalid_argument for a name, key or value
 * holding a zero byte, which the C strings cannot store. Running out of
 * memory inside the library ends the process, as it does for C callers.
 *
 * Paths: a narrow path (const char *, std::string) is the platform's own
 * and goes to the system as given, as with the C functions (on Windows, in
 * the ANSI code page). A std::filesystem::path goes as it is on POSIX; on
 * Windows it is turned from its wide form into the code page of the
 * system's file functions, and a name that page cannot spell exactly is
 * refused (LoadError, SaveError) rather than replaced by a look-alike that
 * may name another file. A path holding a zero byte is refused too: cut
 * short there it would name another file.
 */
#ifndef INIFILE_HPP
#define INIFILE_HPP

#include "inifile.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <optional>
#include <ranges>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#define INIFILE_HPP_LEAN_AND_MEAN
#endif
#include <windows.h>
#ifdef INIFILE_HPP_LEAN_AND_MEAN
#undef WIN32_LEAN_AND_MEAN
#undef INIFILE_HPP_LEAN_AND_MEAN
#endif
#else
#include <cerrno>
#endif

namespace inifile {

// One key=value entry, viewed in its section.
struct Entry {
    std::string_view key;
    std::string_view value;
};

class SectionView;

namespace detail {

// Whether the zero-terminated text of a record equals wanted, byte for
// byte. Stops at the first difference; wanted needs no zero byte after it.
// A wanted text holding a zero byte equals nothing stored.
inline bool same_text(const char *stored, std::string_view wanted) noexcept
{
    for (char c : wanted) {
        if (*stored != c || c == '\0')
            return false;
        ++stored;
    }
    return *stored == '\0';
}

// Index of the first section called name, or -1; a missing document has
// no sections.
inline int32_t section_index(const IniFile *ini, std::string_view name) noexcept
{
    for (int32_t i = 0; ini != nullptr && i < ini->count; ++i) {
        if (same_text(ini->sections[i]->name, name))
            return i;
    }
    return -1;
}

// Index of the first entry with that key, or -1.
inline int32_t entry_index(const IniSection *section, std::string_view key) noexcept
{
    for (int32_t i = 0; i < section->count; ++i) {
        if (same_text(section->entries[i]->key, key))
            return i;
    }
    return -1;
}

inline Entry view_of(const IniEntry *entry) noexcept;
inline SectionView view_of(const IniSection *section) noexcept;

// A random-access iterator over an array of record pointers that gives
// each record as a read-only view made on the spot.
template <typename Record, typename View>
class RecordIterator {
  public:
    using iterator_concept = std::random_access_iterator_tag;
    // Older algorithms see an input iterator: the elements are made on the
    // spot, not stored.
    using iterator_category = std::input_iterator_tag;
    using value_type = View;
    using difference_type = std::ptrdiff_t;

    RecordIterator() noexcept = default;
    explicit RecordIterator(Record *const *at) noexcept : at_(at) {}

    // const: the view is made for the caller and assigning to it would
    // change nothing in the document, so the compiler refuses it.
    // NOLINTNEXTLINE(readability-const-return-type)
    const View operator*() const noexcept { return view_of(*at_); }
    // NOLINTNEXTLINE(readability-const-return-type)
    const View operator[](difference_type n) const noexcept { return view_of(at_[n]); }

    RecordIterator &operator++() noexcept
    {
        ++at_;
        return *this;
    }
    RecordIterator operator++(int) noexcept { return RecordIterator(at_++); }
    RecordIterator &operator--() noexcept
    {
        --at_;
        return *this;
    }
    RecordIterator operator--(int) noexcept { return RecordIterator(at_--); }
    RecordIterator &operator+=(difference_type n) noexcept
    {
        at_ += n;
        return *this;
    }
    RecordIterator &operator-=(difference_type n) noexcept
    {
        at_ -= n;
        return *this;
    }
    friend RecordIterator operator+(RecordIterator it, difference_type n) noexcept
    {
        return RecordIterator(it.at_ + n);
    }
    friend RecordIterator operator+(difference_type n, RecordIterator it) noexcept
    {
        return RecordIterator(it.at_ + n);
    }
    friend RecordIterator operator-(RecordIterator it, difference_type n) noexcept
    {
        return RecordIterator(it.at_ - n);
    }
    friend difference_type operator-(RecordIterator a, RecordIterator b) noexcept
    {
        return a.at_ - b.at_;
    }
    friend bool operator==(RecordIterator a, RecordIterator b) noexcept = default;
    friend std::strong_ordering operator<=>(RecordIterator a, RecordIterator b) noexcept = default;

  private:
    Record *const *at_ = nullptr;
};

// The records of one array, in order, as views: a sized random-access view
// whose iterators stay usable after the range object itself is gone.
template <typename Record, typename View>
class RecordRange : public std::ranges::view_base {
  public:
    using iterator = RecordIterator<Record, View>;

    RecordRange() noexcept = default;
    RecordRange(Record *const *first, int32_t count) noexcept : first_(first), count_(count) {}

    iterator begin() const noexcept { return iterator(first_); }
    iterator end() const noexcept { return iterator(first_ + count_); }
    std::size_t size() const noexcept { return static_cast<std::size_t>(count_); }
    bool empty() const noexcept { return count_ == 0; }
    // NOLINTNEXTLINE(readability-const-return-type): as operator* above
    const View operator[](std::size_t index) const noexcept { return view_of(first_[index]); }

  private:
    Record *const *first_ = nullptr;
    int32_t count_ = 0;
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

inline Entry detail::view_of(const IniEntry *entry) noexcept
{
    return {entry->key, entry->value};
}

inline SectionView detail::view_of(const IniSection *section) noexcept
{
    return SectionView(section);
}

// Why Document::load failed: the kind, line and message that
// ini_load_with_error reports. what() is the message.
class LoadError : public std::runtime_error {
  public:
    LoadError(IniErrorKind kind, int line, int system_error, const std::string &message)
        : std::runtime_error(message), kind_(kind), line_(line), system_error_(system_error)
    {
    }
    explicit LoadError(const IniError &error)
        : LoadError(error.kind, error.line, error.system_error, error.message)
    {
    }

    IniErrorKind kind() const noexcept { return kind_; }
    // 1-based line where the offending logical line starts; 0 when no line
    // is at fault.
    int line() const noexcept { return line_; }
    // errno, or GetLastError() on Windows, when opening or reading failed.
    int system_error() const noexcept { return system_error_; }

  private:
    IniErrorKind kind_;
    int line_;
    int system_error_;
};

// Why Document::save failed: the kind, system error and message that
// ini_save_with_error reports. what() is the message.
class SaveError : public std::runtime_error {
  public:
    SaveError(IniErrorKind kind, int system_error, const std::string &message)
        : std::runtime_error(message), kind_(kind), system_error_(system_error)
    {
    }
    explicit SaveError(const IniError &error)
        : SaveError(error.kind, error.system_error, error.message)
    {
    }

    // INI_ERROR_CREATE, INI_ERROR_WRITE or INI_ERROR_UNSTORABLE.
    IniErrorKind kind() const noexcept { return kind_; }
    // errno, or GetLastError() on Windows, when the system refused.
    int system_error() const noexcept { return system_error_; }
    // What ini_save returned: -1, -2 or -3.
    int status() const noexcept
    {
        return kind_ == INI_ERROR_WRITE ? -2 : kind_ == INI_ERROR_UNSTORABLE ? -3 : -1;
    }

  private:
    IniErrorKind kind_;
    int system_error_;
};

namespace detail {

// A path as the library hands it to the system, or null with the system's
// code for why it cannot be one (see the paths above).
class SystemPath {
  public:
    explicit SystemPath(const char *path) noexcept : text_(path) {}
    explicit SystemPath(const std::string &path) noexcept
    {
        if (path.find('\0') != std::string::npos)
            error_ = invalid_name;
        else
            text_ = path.c_str();
    }
    explicit SystemPath(const std::filesystem::path &path);
    SystemPath(const SystemPath &) = delete;
    SystemPath &operator=(const SystemPath &) = delete;

    const char *text() const noexcept { return text_; }
    int error() const noexcept { return error_; }

  private:
#ifdef _WIN32
    static constexpr int invalid_name = ERROR_INVALID_NAME;
#else
    static constexpr int invalid_name = EINVAL;
#endif
    std::string storage_;  // the converted path on Windows
    const char *text_ = nullptr;
    int error_ = 0;
};

#ifdef _WIN32
inline SystemPath::SystemPath(const std::filesystem::path &path)
{
    const std::wstring &wide = path.native();
    UINT page = AreFileApisANSI() ? GetACP() : GetOEMCP();
    // Best fit would turn a name into a look-alike ("Łódź" into "Lódz");
    // UTF-8 knows no best fit and takes no such flag.
    DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL *report = page == CP_UTF8 ? nullptr : &used_default;
    int length = static_cast<int>(wide.size());
    int size = WideCharToMultiByte(page, flags, wide.data(), length, nullptr, 0, nullptr, report);
    if (length > 0 && (size <= 0 || used_default)) {
        error_ = ERROR_NO_UNICODE_TRANSLATION;
        return;
    }
    storage_.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(page, flags, wide.data(), length, storage_.data(), size, nullptr, report);
    if (storage_.find('\0') != std::string::npos)
        error_ = invalid_name;
    else
        text_ = storage_.c_str();
}
#else
inline SystemPath::SystemPath(const std::filesystem::path &path) : SystemPath(path.native())
{
}
#endif

// Refuses a name, key or value that a C string cannot hold whole.
inline void check_storable(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        throw std::invalid_argument(
            "inifile: a section name, key or value cannot hold a zero byte");
}

}  // namespace detail

// A configuration document: owns one IniFile. A Document that holds none
// (moved from, or made from a null pointer) is an empty document: it has
// no sections, saves as an empty file, and set() gives it an IniFile.
class Document {
  public:
    // An empty document.
    Document() : ini_(ini_create()) {}
    // Takes over a document made by the C functions; null gives an empty one.
    explicit Document(IniFile *owned) noexcept : ini_(owned) {}
    ~Document() { ini_destroy(ini_); }

    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;
    Document(Document &&other) noexcept : ini_(std::exchange(other.ini_, nullptr)) {}
    Document &operator=(Document &&other) noexcept
    {
        if (this != &other) {
            ini_destroy(ini_);
            ini_ = std::exchange(other.ini_, nullptr);
        }
        return *this;
    }

    // Reads the file at path; throws LoadError when it cannot be opened or
    // read, or is not a valid configuration file.
    static Document load(const std::filesystem::path &path)
    {
        return load_from(detail::SystemPath(path));
    }
    static Document load(const std::string &path) { return load_from(detail::SystemPath(path)); }
    static Document load(const char *path) { return load_from(detail::SystemPath(path)); }

    // Writes the document to path, replacing any file there; throws
    // SaveError, with the reason ini_save_with_error gives, when it fails.
    void save(const std::filesystem::path &path) const { save_to(detail::SystemPath(path)); }
    void save(const std::string &path) const { save_to(detail::SystemPath(path)); }
    void save(const char *path) const { save_to(detail::SystemPath(path)); }

    // Value of the first entry with that key in the first section of that
    // name.
    std::optional<std::string_view> get(std::string_view section,
                                        std::string_view key) const noexcept
    {
        std::optional<SectionView> found = this->section(section);
        return found ? found->get(key) : std::nullopt;
    }

    // The first section of that name.
    std::optional<SectionView> section(std::string_view name) const noexcept
    {
        int32_t index = detail::section_index(ini_, name);
        if (index < 0)
            return std::nullopt;
        return SectionView(ini_->sections[index]);
    }

    SectionRange sections() const noexcept
    {
        return ini_ != nullptr ? SectionRange(ini_->sections, ini_->count) : SectionRange();
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
        if (ini_ == nullptr)
            ini_ = ini_create();
        int32_t index = detail::section_index(ini_, section);
        IniSection *target = nullptr;
        if (index >= 0) {
            target = ini_->sections[index];
        } else {
            const std::string name(section);
            target = section_create(name.c_str());
            ini_put_section(ini_, target);
        }
        section_set_value(target, key_text.c_str(), value_text.c_str());
    }

    // Removes the first entry with that key from the first section of that
    // name: true when there was one. The section's last entry takes its
    // place, as section_remove_key does.
    bool remove(std::string_view section, std::string_view key)
    {
        int32_t index = detail::section_index(ini_, section);
        if (index < 0 || detail::entry_index(ini_->sections[index], key) < 0)
            return false;
        const std::string key_text(key);
        return section_remove_key(ini_->sections[index], key_text.c_str()) == 0;
    }

    // The document for the C functions; null only for a Document that holds
    // none. Changing it through the C functions is allowed from a
    // non-const Document only.
    const IniFile *c_document() const noexcept { return ini_; }
    IniFile *c_document() noexcept { return ini_; }

  private:
    static Document load_from(const detail::SystemPath &path)
    {
        if (path.text() == nullptr) {
            throw LoadError(INI_ERROR_OPEN, 0, path.error(),
                            "cannot open the file: " +
                                std::system_category().message(path.error()));
        }
        IniError error{};
        IniFile *ini = ini_load_with_error(path.text(), &error);
        if (ini == nullptr)
            throw LoadError(error);
        return Document(ini);
    }

    void save_to(const detail::SystemPath &path) const
    {
        if (path.text() == nullptr) {
            throw SaveError(INI_ERROR_CREATE, path.error(),
                            "cannot create the new file: " +
                                std::system_category().message(path.error()));
        }
        IniError error{};
        if (ini_ != nullptr) {
            ini_save_with_error(ini_, path.text(), &error);
        } else {
            Document empty;
            ini_save_with_error(empty.ini_, path.text(), &error);
        }
        if (error.kind != INI_ERROR_NONE)
            throw SaveError(error);
    }

    IniFile *ini_;
};

}  // namespace inifile

// A section or entry range hands out iterators into the document, not into
// itself: algorithms may return them from a temporary range.
namespace std::ranges {
template <typename Record, typename View>
inline constexpr bool enable_borrowed_range<inifile::detail::RecordRange<Record, View>> = true;
}  // namespace std::ranges

#endif
