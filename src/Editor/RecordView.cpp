#include "Editor/RecordView.h"

#include "Base/Path.h"
#include "Editor/ProjectFile.h"

namespace ZandelleEngine {

FileLink linkOfRecord(const JsonValue* record) {
    const JsonValue* link = record && record->IsObject() ? JsonPointer::member(record, "link") : nullptr;
    if(!link || !link->IsObject()) return {};
    return FileLink{Path::fromNativeSeparators(Json::asString(JsonPointer::member(link, "file"))),
                    std::string{Json::asString(JsonPointer::member(link, "name"))}};
}

RecordView RecordView::byKey(const ProjectFile& file, std::string_view section, std::string_view key) {
    const JsonValue* records = JsonPointer::member(&file.projectFile(), section);
    return RecordView{file, section, records ? file.findMember(*records, key) : nullptr};
}

void RecordView::resolveFallbacks() const {
    _resolved = true;
    const FileLink link = linkOfRecord(_record);
    if(!link.isEmpty()) _original = _file->findOriginal(_section, link);
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
