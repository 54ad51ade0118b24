#pragma once
// The component managers of the scene: collision, input, view, light, text,
// mesh and JavaScript. Physics and animation have their own headers.
//
// Accessors return references into the manager's storage; they must only be
// called with the id of a live component.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/ComponentManager.h"

namespace ZandelleEngine {

enum class ColliderType: std::uint8_t { Sphere = 0, AxisAlignedBox = 1, Box = 2 };
enum class InputType: std::uint8_t { Head = 0, EyeLeft, EyeRight, HandLeft, HandRight, RayLeft, RayRight };
enum class LightType: std::uint8_t { Point = 0, Spot = 1, Sun = 2 };
enum class TextHorizontalAlignment: std::uint8_t { Left = 0, Center = 1, Right = 2 };
enum class TextVerticalAlignment: std::uint8_t { Line = 0, Middle = 1, Top = 2, Bottom = 3 };
enum class TextEffect: std::uint8_t { None = 0, Outline = 1 };

namespace Implementation {
struct CollisionComponent {
    ColliderType collider = ColliderType::Sphere;
    Vector3 extents{0.0f};
    std::uint8_t group = 0;
};
struct ViewComponent {
    float near = 0.0f, far = 0.0f, fov = 0.0f;
    Matrix4 projection{1.0f};
};
struct LightComponent {
    Vector4 color{1.0f};
    Vector4 parameters{0.0f};
    float shadowRange = 0.0f;
    Vector4 shadowParameters{0.0f};
    LightType type = LightType::Point;
};
}

class ZANDELLE_EXPORT CollisionManager: public TypedComponentManager<Implementation::CollisionComponent> {
    public:
        static constexpr const char* Name = "collision";
        CollisionManager(): TypedComponentManager{Name} {}

        ColliderType& collider(Data::Id c) { return data(c).collider; }
        Vector3& extents(Data::Id c) { return data(c).extents; }
        std::uint8_t& group(Data::Id c) { return data(c).group; }
};

class ZANDELLE_EXPORT InputManager: public TypedComponentManager<InputType> {
    public:
        static constexpr const char* Name = "input";
        InputManager(): TypedComponentManager{Name} {}

        InputType& inputType(Data::Id c) { return data(c); }
};

class ZANDELLE_EXPORT ViewManager: public TypedComponentManager<Implementation::ViewComponent> {
    public:
        static constexpr const char* Name = "view";
        ViewManager(): TypedComponentManager{Name} {}

        float& near(Data::Id c) { return data(c).near; }
        float& far(Data::Id c) { return data(c).far; }
        /** Field of view in degrees */
        float& fov(Data::Id c) { return data(c).fov; }
        Matrix4& projectionMatrix(Data::Id c) { return data(c).projection; }
};

class ZANDELLE_EXPORT LightManager: public TypedComponentManager<Implementation::LightComponent> {
    public:
        static constexpr const char* Name = "light";
        LightManager(): TypedComponentManager{Name} {}

        /** RGB and intensity */
        Vector4& color(Data::Id c) { return data(c).color; }
        /** Outer angle, inner angle, shadows (1 or 0), reserved */
        Vector4& parameters(Data::Id c) { return data(c).parameters; }
        float& shadowRange(Data::Id c) { return data(c).shadowRange; }
        /** Bias, normal bias, texel size, cascade count */
        Vector4& shadowParameters(Data::Id c) { return data(c).shadowParameters; }
        LightType lightType(Data::Id c) const { return data(c).type; }
        void setLightType(Data::Id c, LightType type) { data(c).type = type; }
};

/** A draw group: the pipeline and whether the meshes in it are skinned */
struct ComponentGroup {
    Data::Id pipeline = 0;
    std::uint8_t skinned = 0;
    bool operator==(const ComponentGroup&) const = default;
};

/** Base of the managers that draw their components grouped by pipeline
    (and skinning): each group keeps the list of its components. */
class ZANDELLE_EXPORT GroupedComponentManager: public ComponentManager {
    public:
        using ComponentManager::ComponentManager;

        /** Groups per skinning variant; a group index is a pipeline id */
        std::uint32_t groupCount() const { return _groupCount; }
        /** Grows the component storage and the group count; never shrinks */
        void allocate(std::uint32_t capacity, std::uint32_t groupCount);

        ComponentGroup group(Data::Id c) const { return _groups[c]; }
        /** Moves @p c into the group; a pipeline beyond the group count
            grows it */
        void setGroup(Data::Id c, Data::Id pipeline, std::uint8_t skinned);
        /** Components of a group, in the order they joined it */
        const std::vector<Data::Id>& groupComponents(Data::Id pipeline, std::uint8_t skinned) const;

    protected:
        void resize(std::uint32_t capacity) override;
        void resetComponent(Data::Id c) override;
        void releaseComponent(Data::Id c) override;

    private:
        void leaveGroup(Data::Id c);

        std::uint32_t _groupCount = 0;
        std::vector<ComponentGroup> _groups;
        std::vector<std::uint8_t> _grouped;
        /* Index pipeline*2 + skinned */
        std::vector<std::vector<Data::Id>> _members;
};

class ZANDELLE_EXPORT MeshManager: public GroupedComponentManager {
    public:
        static constexpr const char* Name = "mesh";
        MeshManager(): GroupedComponentManager{Name} {}

        Data::Id& material(Data::Id c) { return _data[c].material; }
        Data::Id& mesh(Data::Id c) { return _data[c].mesh; }
        Data::Id skin(Data::Id c) const { return _data[c].skin; }
        void setSkin(Data::Id c, Data::Id skin) { _data[c].skin = skin; }

    protected:
        void resize(std::uint32_t capacity) override;
        void resetComponent(Data::Id c) override;

    private:
        struct Mesh { Data::Id material = 0, mesh = 0, skin = 0; };
        std::vector<Mesh> _data;
};

class ZANDELLE_EXPORT TextManager: public GroupedComponentManager {
    public:
        static constexpr const char* Name = "text";
        TextManager(): GroupedComponentManager{Name} {}

        /** Bytes of character storage and bytes in use (each text with its
            terminating zero) */
        std::size_t characterCapacity() const { return _characters.capacity(); }
        std::size_t characterCount() const { return _used; }
        /** Grows components, groups and character storage */
        void allocate(std::uint32_t capacity, std::uint32_t groupCount, std::size_t characters);
        using GroupedComponentManager::allocate;

        void setText(Data::Id c, std::string_view text);
        std::string_view text(Data::Id c) const;

        Data::Id& material(Data::Id c) { return _data[c].material; }
        Data::Id font(Data::Id c) const { return _data[c].font; }
        void setFont(Data::Id c, Data::Id font) { _data[c].font = font; }
        TextHorizontalAlignment& alignment(Data::Id c) { return _data[c].alignment; }
        TextVerticalAlignment& justification(Data::Id c) { return _data[c].justification; }
        float& characterSpacing(Data::Id c) { return _data[c].characterSpacing; }
        float& lineSpacing(Data::Id c) { return _data[c].lineSpacing; }
        TextEffect& effect(Data::Id c) { return _data[c].effect; }

    protected:
        void resize(std::uint32_t capacity) override;
        void resetComponent(Data::Id c) override;
        void releaseComponent(Data::Id c) override;

    private:
        struct Text {
            std::uint32_t offset = 0, size = 0, room = 0;
            Data::Id material = 0, font = 0;
            TextHorizontalAlignment alignment{};
            TextVerticalAlignment justification{};
            TextEffect effect{};
            float characterSpacing = 0.0f, lineSpacing = 0.0f;
        };
        void releaseText(Text& t);

        std::vector<Text> _data;
        std::vector<char> _characters;
        std::size_t _used = 0;
};

/** Script components: each has a registered script type, 255 when none */
class ZANDELLE_EXPORT JavaScriptManager: public TypedComponentManager<std::uint8_t> {
    public:
        static constexpr const char* Name = "js";
        static constexpr std::uint8_t NoType = 255;

        JavaScriptManager(): TypedComponentManager{Name} {}

        /** Registers a script type with its parameter names (up to 255
            types); returns its index, or the existing index for a known name */
        std::uint8_t registerType(std::string_view name, std::vector<std::string> parameterNames = {});
        /** Index of a registered type, NoType when none */
        std::uint8_t typeIndex(std::string_view name) const;
        /** Name of a type index, empty for NoType or an unknown index */
        std::string_view typeName(std::uint8_t index) const;
        const std::vector<std::string>& parameterNames(std::uint8_t index) const;
        std::size_t typeCount() const { return _types.size(); }

        Data::Id addComponent(Data::Id object, std::uint8_t type);
        using ComponentManager::addComponent;
        std::uint8_t& componentType(Data::Id c) { return data(c); }

    protected:
        void resetComponent(Data::Id c) override { data(c) = NoType; }

    private:
        std::vector<std::pair<std::string, std::vector<std::string>>> _types;
};

}
