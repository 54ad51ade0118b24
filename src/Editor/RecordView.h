#pragma once
// Reads of one record of a section, for code that reads many members of
// many records (the compile steps, the change handlers).
//
// A member the record does not hold falls back to the record's original (the
// importer's record for its link), then to the section's defaults, the same
// fall-back ValueAccess::readValue() applies. The view holds plain pointers
// into the document: it is valid until the document changes. The original
// and the defaults are looked up once per view, on the first member the
// record lacks, so a read costs one walk of a short path.

#include <string_view>

#include "Base/Export.h"
#include "Editor/FileLink.h"
#include "Editor/Json.h"
#include "Editor/JsonPointer.h"

namespace ZandelleEngine {

class ProjectFile;

/** The `link` of @p record, its file spelled with "/" whatever system wrote
    it; empty when the record has no link object */
ZANDELLE_EXPORT FileLink linkOfRecord(const JsonValue* record);

class ZANDELLE_EXPORT RecordView {
    public:
        /** The record @p record (its own value in the document, null when
            the document lacks it) of section @p section. @p section must
            outlive the view. */
        RecordView(const ProjectFile& file, std::string_view section, const JsonValue* record):
            _file{&file}, _section{section}, _record{record} {}
        /** The record with key @p key of section @p section, found in
            constant time */
        static RecordView byKey(const ProjectFile& file, std::string_view section, std::string_view key);

        /** The record's own value; null when the document lacks it */
        const JsonValue* record() const { return _record; }

        /** The value at pointer @p path below the record, with the fall-back;
            null when the record does not exist or nothing holds the value */
        const JsonValue* find(std::string_view path) const;
        /** Typed reads of find() */
        JsonObject operator[](std::string_view path) const { return JsonObject{find(path)}; }

    private:
        void resolveFallbacks() const;

        const ProjectFile* _file;
        std::string_view _section;
        const JsonValue* _record;
        mutable const JsonValue* _original = nullptr;
        mutable const JsonValue* _defaults = nullptr;
        mutable bool _resolved = false;
};

}
