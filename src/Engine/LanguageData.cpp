#include "Engine/LanguageData.h"

#include <cstring>

namespace ZandelleEngine { namespace Data {

static_assert(sizeof(TermLinkEntry) == 12);

namespace {

void appendString(std::vector<char>& out, std::string_view s) {
    const std::uint32_t size = std::uint32_t(s.size());
    const char* bytes = reinterpret_cast<const char*>(&size);
    out.insert(out.end(), bytes, bytes + 4);
    out.insert(out.end(), s.begin(), s.end());
}

bool readString(std::span<const char> data, std::size_t& offset, std::string& out) {
    std::uint32_t size;
    if(data.size() - offset < 4) return false;
    std::memcpy(&size, data.data() + offset, 4);
    offset += 4;
    if(data.size() - offset < size) return false;
    out.assign(data.data() + offset, size);
    offset += size;
    return true;
}

}

std::vector<char> createLanguageData(std::string_view name, std::string_view key, std::uint32_t termCount, StringArrayView strings) {
    std::vector<char> out{'Z', 'L', 'N', 'G'};
    const std::uint16_t version = LanguageDataVersion, field = 0;
    out.insert(out.end(), reinterpret_cast<const char*>(&version), reinterpret_cast<const char*>(&version) + 2);
    out.insert(out.end(), reinterpret_cast<const char*>(&field), reinterpret_cast<const char*>(&field) + 2);
    out.insert(out.end(), reinterpret_cast<const char*>(&termCount), reinterpret_cast<const char*>(&termCount) + 4);
    appendString(out, name);
    appendString(out, key);
    for(std::size_t i = 0; i != 2*std::size_t(termCount); ++i)
        appendString(out, i < strings.size() ? std::string_view{strings[i]} : std::string_view{});
    while(out.size() % 4) out.push_back(0);
    return out;
}

std::optional<LanguageDataView> readLanguageData(std::span<const char> data) {
    if(data.size() < 12 || std::memcmp(data.data(), "ZLNG", 4) != 0) return {};
    std::uint16_t version;
    std::uint32_t count;
    std::memcpy(&version, data.data() + 4, 2);
    std::memcpy(&count, data.data() + 8, 4);
    if(version != LanguageDataVersion || count > data.size()/8) return {};
    LanguageDataView view;
    std::size_t offset = 12;
    if(!readString(data, offset, view.name) || !readString(data, offset, view.key)) return {};
    view.strings.resize(2*std::size_t(count));
    for(std::string& s: view.strings) if(!readString(data, offset, s)) return {};
    if(data.size() - offset >= 4) return {};
    return view;
}

}}
