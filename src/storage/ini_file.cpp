#include "storage/ini_file.h"

#include "base/wstr.h"
#include "platform/platform.h"

namespace orv {

namespace {

constexpr std::string_view kUtf16Mark = "\xFF\xFE";

// The platform's integer reader looks at no more than this many units.
constexpr std::size_t kReadIntChars = 29;

std::u16string CutToReadBuffer(std::u16string_view text) {
    return std::u16string(text.substr(0, kReadStringChars - 1));
}

} // namespace

// ---------------------------------------------------------------- session

const ini::Document& CIniSession::Doc() {
    if (!m_loaded) {
        m_loaded = true;
        if (PathUsable() && Files().ReadAll(m_path, m_bytes) == ReadResult::Ok) {
            m_readOk = true;
            m_doc = ini::Document::Parse(m_bytes);
        } else {
            m_bytes.clear();
        }
    }
    return m_doc;
}

std::u16string CIniSession::ReadString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view def) {
    auto value = Doc().Find(section, key);
    return CutToReadBuffer(value ? ini::StripQuotes(*value) : def);
}

std::int32_t CIniSession::ReadInt(std::u16string_view section, std::u16string_view key,
                                  std::int32_t def) {
    auto value = Doc().Find(section, key);
    if (!value)
        return def;
    std::u16string_view text = ini::StripQuotes(*value).substr(0, kReadIntChars);
    return text.empty() ? def : ini::ParseInteger(text);
}

bool CIniSession::ReadStruct(std::u16string_view section, std::u16string_view key, void* data,
                             std::size_t size) {
    auto value = Doc().Find(section, key);
    return value && ini::DecodeStruct(*value, data, size);
}

void CIniSession::WriteString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view value) {
    Doc();
    m_edits.push_back({std::u16string(section), std::u16string(key), std::u16string(value)});
    m_changed = m_doc.Set(section, key, value) || m_changed;
}

void CIniSession::WriteInt(std::u16string_view section, std::u16string_view key,
                           std::int32_t number) {
    WriteString(section, key, FormatW(u"%d", number));
}

void CIniSession::WriteStruct(std::u16string_view section, std::u16string_view key,
                              const void* data, std::size_t size) {
    WriteString(section, key, ini::EncodeStruct(data, size));
}

bool CIniSession::Commit() {
    if (m_edits.empty())
        return true;
    std::vector<Edit> edits = std::move(m_edits);
    m_edits.clear();
    bool changed = m_changed;
    m_changed = false;
    if (!PathUsable())
        return false;
    // Writes that leave the file as it was read need no new file.
    if (!changed && m_readOk)
        return true;

    // Read the file again: another program may have written it since.
    std::string bytes;
    ReadResult read = Files().ReadAll(m_path, bytes);
    if (read == ReadResult::NotFound) {
        // A new file appears with all the writes at once: one that a kill
        // left holding only its byte-order mark would pass for written.
        ini::Document fresh = ini::Document::Parse(kUtf16Mark);
        for (const Edit& edit : edits)
            fresh.Set(edit.section, edit.key, edit.value);
        std::string out = fresh.Serialize();
        if (Files().CreateNew(m_path, out)) {
            m_doc = std::move(fresh);
            m_loaded = true;
            m_readOk = true;
            m_bytes = std::move(out);
            return true;
        }
        // Another program may have made it meanwhile: write into theirs.
        read = Files().ReadAll(m_path, bytes);
    }
    // A file that cannot be read is never replaced: its keys would be lost.
    if (read != ReadResult::Ok)
        return false;

    if (!m_readOk || bytes != m_bytes) {
        m_doc = ini::Document::Parse(bytes);
        changed = false;
        for (const Edit& edit : edits)
            changed = m_doc.Set(edit.section, edit.key, edit.value) || changed;
    }
    m_loaded = true;
    m_readOk = true;
    m_bytes = std::move(bytes);
    if (!changed)
        return true;
    std::string out = m_doc.Serialize();
    if (!Files().ReplaceContent(m_path, out))
        return false;
    m_bytes = std::move(out);
    return true;
}

// ---------------------------------------------------------------- single calls

void CIniFile::EnsureExists() const {
    if (!m_path.empty() && m_path.size() <= kMaxIniPath && !Files().Exists(m_path))
        Files().CreateNew(m_path, kUtf16Mark);
}

std::u16string CIniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view def) const {
    return CIniSession(*this).ReadString(section, key, def);
}

std::int32_t CIniFile::ReadInt(std::u16string_view section, std::u16string_view key,
                               std::int32_t def) const {
    return CIniSession(*this).ReadInt(section, key, def);
}

bool CIniFile::ReadStruct(std::u16string_view section, std::u16string_view key, void* data,
                          std::size_t size) const {
    return CIniSession(*this).ReadStruct(section, key, data, size);
}

int CIniFile::WriteString(std::u16string_view section, std::u16string_view key,
                          std::u16string_view value) const {
    CIniSession session(*this);
    session.WriteString(section, key, value);
    return session.Commit() ? 1 : 0;
}

int CIniFile::WriteInt(std::u16string_view section, std::u16string_view key,
                       std::int32_t number) const {
    CIniSession session(*this);
    session.WriteInt(section, key, number);
    return session.Commit() ? 1 : 0;
}

int CIniFile::WriteStruct(std::u16string_view section, std::u16string_view key, const void* data,
                          std::size_t size) const {
    CIniSession session(*this);
    session.WriteStruct(section, key, data, size);
    return session.Commit() ? 1 : 0;
}

} // namespace orv
