#include "Editor/ProjectDefaults.h"

#include "Base/Assert.h"

namespace ZandelleEngine {

namespace {

/* Every default lives here and nowhere else. */
constexpr const char DefaultsText[] = R"({
    "objects": {
        "name": "",
        "parent": null,
        "translation": [0.0, 0.0, 0.0],
        "rotation": [0.0, 0.0, 0.0, 1.0],
        "scaling": [1.0, 1.0, 1.0],
        "components": [],
        "skin": null
    },
    "meshes": {
        "name": "",
        "importScaling": 1.0,
        "simplify": false,
        "simplifyTarget": 0.5,
        "simplifyTargetError": 0.01,
        "optimize": true
    },
    "images": {
        "name": "",
        "compression": "etc1s",
        "maxSize": [8192, 8192],
        "isCubemap": false,
        "hdr": false,
        "stream": true
    },
    "textures": {
        "name": "",
        "image": null
    },
    "shaders": {
        "name": "",
        "stage": "fragment"
    },
    "pipelines": {
        "name": "",
        "shader": null,
        "features": {},
        "doubleSided": false,
        "castShadows": false,
        "depthTest": true,
        "depthWrite": true,
        "depthFunction": "less",
        "blending": false,
        "blendSrcRgb": "one",
        "blendSrcAlpha": "one",
        "blendDestRgb": "zero",
        "blendDestAlpha": "zero",
        "blendEqRgb": "add",
        "blendEqAlpha": "add"
    },
    "materials": {
        "name": "",
        "pipeline": null
    },
    "animations": {
        "name": ""
    },
    "skins": {
        "name": "",
        "joints": []
    },
    "fonts": {
        "name": "",
        "characters": "",
        "outline": false,
        "outlineSize": 0.1
    },
    "languages": {
        "name": "",
        "isDefault": false
    },
    "files": {
        "fileName": "",
        "importerName": ""
    },
    "settings": {
        "project": {
            "name": "",
            "description": ""
        },
        "editor": {
            "ids": "incremental-number"
        },
        "scripting": {
            "sourcePaths": [],
            "libraryPaths": [],
            "entryPoint": "js/index.js",
            "bundlingType": "npm",
            "esbuildFlags": "--format=esm"
        },
        "rendering": {
            "fontOutline": false,
            "usePreZ": false,
            "useMultiDraw": true,
            "textureAtlasSize": [8192, 8192],
            "compressedTextureAtlasSize": [8192, 8192],
            "sky": {
                "enabled": false,
                "material": null
            }
        },
        "physx": {
            "enable": false,
            "maxTimestep": 0.016666668,
            "contactOffset": 0.02,
            "restOffset": 0.0,
            "gravity": [0.0, -9.81, 0.0],
            "lengthToleranceScale": 1.0,
            "speedToleranceScale": 10.0
        },
        "runtime": {
            "pwa": {
                "enable": false,
                "appIcon": ""
            }
        },
        "ar": {
            "enable": false
        },
        "plugins": {
            "enable": false,
            "paths": []
        },
        "localization": {
            "defaultLanguage": ""
        }
    }
})";

}

const JsonDocument& projectDefaults() {
    static const JsonDocument defaults = []{
        JsonDocument d;
        d.Parse(DefaultsText);
        ZE_ASSERT(!d.HasParseError() && d.IsObject());
        return d;
    }();
    return defaults;
}

}
