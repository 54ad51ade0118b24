#include "Editor/EditorState.h"

#include <rapidjson/document.h>

#include "Editor/Json.h"

namespace ZandelleEngine {

void EditorState::reset() {
    selection.clear();
    cameraPosition = Vector3{0.0f, 2.0f, 5.0f};
    cameraRotation = Quaternion{1.0f, 0.0f, 0.0f, 0.0f};
}

namespace {
bool isNumberArray(const JsonValue& v, rapidjson::SizeType size) {
    if(!v.IsArray() || v.Size() != size) return false;
    for(const JsonValue& e: v.GetArray()) if(!e.IsNumber()) return false;
    return true;
}
}

bool EditorState::deserialize(std::string_view text) {
    JsonDocument d;
    if(Json::parse(d, text) || !d.IsObject()) return false;
    auto version = d.FindMember("version");
    if(version == d.MemberEnd() || !version->value.IsInt() || version->value.GetInt() != FormatVersion) return false;

    std::vector<std::string> newSelection;
    if(auto s = d.FindMember("selection"); s != d.MemberEnd()) {
        if(!s->value.IsArray()) return false;
        for(const JsonValue& e: s->value.GetArray()) {
            if(!e.IsString()) return false;
            newSelection.emplace_back(e.GetString(), e.GetStringLength());
        }
    }
    Vector3 position = Vector3{0.0f, 2.0f, 5.0f};
    Quaternion rotation{1.0f, 0.0f, 0.0f, 0.0f};
    if(auto c = d.FindMember("camera"); c != d.MemberEnd()) {
        if(!c->value.IsObject()) return false;
        if(auto p = c->value.FindMember("position"); p != c->value.MemberEnd()) {
            if(!isNumberArray(p->value, 3)) return false;
            position = Json::asVector3(&p->value);
        }
        if(auto r = c->value.FindMember("rotation"); r != c->value.MemberEnd()) {
            if(!isNumberArray(r->value, 4)) return false;
            rotation = Json::asQuaternion(&r->value);
        }
    }
    selection = std::move(newSelection);
    cameraPosition = position;
    cameraRotation = rotation;
    return true;
}

std::string EditorState::serialize() const {
    JsonDocument d;
    d.SetObject();
    auto& a = d.GetAllocator();
    d.AddMember("version", FormatVersion, a);
    JsonValue s{rapidjson::kArrayType};
    for(const std::string& id: selection) s.PushBack(JsonValue{id.data(), rapidjson::SizeType(id.size()), a}, a);
    d.AddMember("selection", s, a);
    JsonValue camera{rapidjson::kObjectType};
    JsonValue position, rotation;
    Json::setArray(position, std::vector<float>{cameraPosition.x, cameraPosition.y, cameraPosition.z}, a);
    Json::setArray(rotation, std::vector<float>{cameraRotation.x, cameraRotation.y, cameraRotation.z, cameraRotation.w}, a);
    camera.AddMember("position", position, a);
    camera.AddMember("rotation", rotation, a);
    d.AddMember("camera", camera, a);
    return *Json::toString(d, Json::JsonPretty|Json::JsonSingleLineArrays);
}

}
