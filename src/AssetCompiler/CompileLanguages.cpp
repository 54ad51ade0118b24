#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <charconv>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Components.h"
#include "Engine/LanguageData.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

/* The entry of one term link: the project name; the text of a text
   component; a parameter of a script component, found by its position among
   the object's components of that kind */
Data::TermLinkEntry resolveTermLink(const std::string& term, const std::string& path, ProjectFile& file,
    const ResourceIndex& index, const JavaScriptManager& js)
{
    Data::TermLinkEntry entry;
    if(path == "/settings/project/name") {
        entry.kind = Data::TermLinkKind::ProjectName;
        return entry;
    }
    if(!String::beginsWith(path, "/objects/")) return entry;

    /* "", "objects", object key, "components", component index, ... */
    const std::vector<std::string> segments = String::split(path, '/');
    const std::string objectKey = segments.size() > 2 ? segments[2] : std::string{};
    entry.object = ResourceIndex::lookup(index.objects, objectKey);
    std::size_t component = 0;
    if(segments.size() > 4) std::from_chars(segments[4].data(), segments[4].data() + segments[4].size(), component);

    const std::string componentsPath = "/objects/" + objectKey + "/components";
    const JsonValue* components = file.objects()[objectKey]["components"].readValue();
    if(!components || !components->IsArray() || components->Empty()) {
        Warning{} << "AssetCompiler::compileLanguages(): Failed to create term link for" << term << ", the path" << componentsPath << "is invalid";
        return entry;
    }
    auto typeOf = [&](std::size_t i) {
        return i < components->Size() ? Json::asString(member(&(*components)[rapidjson::SizeType(i)], "type")) : std::string_view{};
    };
    const std::size_t before = std::min<std::size_t>(component, components->Size());

    if(String::endsWith(path, "/text/text")) {
        entry.kind = Data::TermLinkKind::Text;
        for(std::size_t i = 0; i != before; ++i) entry.ordinal += typeOf(i) == "text";
        return entry;
    }

    entry.kind = Data::TermLinkKind::JavaScript;
    for(std::size_t i = 0; i != before; ++i) entry.ordinal += js.typeIndex(typeOf(i)) != JavaScriptManager::NoType;
    const std::string_view type = typeOf(component);
    const std::uint8_t typeIndex = js.typeIndex(type);
    if(typeIndex == JavaScriptManager::NoType) {
        Warning{} << "AssetCompiler::compileLanguages(): Failed to create term link for" << term << ", missing javascript type" << type;
        return entry;
    }
    const std::vector<std::string>& names = js.parameterNames(typeIndex);
    const auto found = std::find(names.begin(), names.end(), segments.back());
    entry.parameter = found == names.end() ? Data::TermLinkEntry::NoParameter : std::uint32_t(found - names.begin());
    return entry;
}

}

/* Language data from the editor's translations. A language that does not
   translate a term itself shows the default language's text for it, or the
   term name when the default language has none either. */
bool AssetCompiler::compileLanguages(const ValueAccessRange& range) {
    EditorData& d = data();
    ProjectFile& file = d.projectFile();
    DynamicSceneGraph& scene = d.scene().main();
    Data::LanguageStorage& storage = scene.languages();
    const Localization& localization = editor().localization;
    const std::string defaultLanguage{file["settings/localization/defaultLanguage"].asString()};
    bool resolveLinks = false;

    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const auto own = localization.translations.find(key);
        if(own == localization.translations.end()) continue;
        const bool isDefault = key == defaultLanguage;
        const Data::Id id = ResourceIndex::lookup(resourceIndex.languages, key);
        if(r.isSetInProject()) {
            /* A deletion below needs no texts */
            const auto fallback = localization.translations.find(defaultLanguage);
            if(fallback == localization.translations.end()) {
                Warning{} << "AssetCompiler::compileLanguages(): Skipping language" << key
                    << Debug::nospace << ": the default language" << defaultLanguage << "has no translations";
                continue;
            }
            const std::string name{r["name"].asString()};
            if(isDefault) {
                storage.termLinks.clear();
                resolveLinks = true;
            }
            std::vector<std::string> strings;
            strings.reserve(2*own->second.size());
            for(const auto& [term, entry]: own->second) {
                if(isDefault) {
                    const auto path = localization.termPaths.find(term);
                    if(path != localization.termPaths.end()) storage.termLinks.emplace_back(term, path->second);
                }
                strings.push_back(term);
                if(isDefault || entry.own) strings.push_back(entry.text);
                else {
                    const auto text = fallback->second.find(term);
                    strings.push_back(text != fallback->second.end() ? text->second.text : term);
                }
            }
            std::vector<char> languageData = Data::createLanguageData(name, key, std::uint32_t(own->second.size()), strings);
            Data::Id slot = id;
            if(storeInSlot(slot, {"compileLanguages", "language", key}, std::tie(storage.languages), std::move(languageData)))
                resourceIndex.languages[key] = slot;
        } else if(id) {
            /* Deleted: the languages after it move down one slot */
            storage.languages.erase(storage.languages.begin() + id);
            for(auto& [other, otherId]: resourceIndex.languages) if(otherId > id) --otherId;
            resourceIndex.languages.erase(key);
        }
    }

    if(resolveLinks) {
        std::vector<Data::TermLinkEntry> resolved;
        resolved.reserve(storage.termLinks.size());
        const JavaScriptManager& js = scene.manager<JavaScriptManager>();
        for(const auto& [term, path]: storage.termLinks)
            resolved.push_back(resolveTermLink(term, path, file, resourceIndex, js));
        storage.resolvedTermLinks = std::move(resolved);
    }

    d.scene().setAssetTypeDirty(AssetType::Languages);
    return true;
}

}
