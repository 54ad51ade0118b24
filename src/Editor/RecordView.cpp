#include "Editor/RecordView.h"

#include "Editor/ProjectFile.h"

namespace ZandelleEngine {

RecordView RecordView::byKey(const ProjectFile& file, std::string_view section, std::string_view key) {
    const JsonValue* records = JsonPointer::member(&file.projectFile(), section);
    return RecordView{file, section, records ? file.findMember(*records, key) : nullptr};
}

void RecordView::resolveFallbacks() const {
    _resolved = true;
    const JsonValue* link = JsonPointer::member(_record, "link");
    if(link && link->IsObject()) {
        const FileLink fileLink{std::string{Json::asString(JsonPointer::member(link, "file"))},
                                std::string{Json::asString(JsonPointer::member(link, "name"))}};
        _original = _file->findOriginal(_section, fileLink);
    }
    _defaults = JsonPointer::member(&_file->defaults(), _section);
}

const JsonValue* RecordView::find(std::string_view path) const {
    if(!_record || !_record->IsObject()) return nullptr;
    if(const JsonValue* own = JsonPointer::find(_record, path)) return own;
    if(!_resolved) resolveFallbacks();
    if(_original) if(const JsonValue* value = JsonPointer::find(_original, path)) return value;
    return JsonPointer::find(_defaults, path);
}

}
