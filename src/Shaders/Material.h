#pragma once
// A compiled material: the packed parameter values of a MaterialDefinition.

#include <cstdint>
#include <vector>

#include "Base/Export.h"
#include "Shaders/MaterialDefinition.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT Material {
    public:
        /** Zero-filled data for @p definition, which must outlive the material */
        explicit Material(const MaterialDefinition& definition);

        const MaterialDefinition& definition() const { return *_definition; }
        const std::vector<std::uint8_t>& data() const { return _data; }

        /* Each stores the parameter at @p index from as many values as it
           has components; a negative index does nothing. The wrong overload
           for the parameter's data type is a programming error that ends the
           process, so callers check the type first. */

        /** Int: the low 8 bits of each value */
        void setParamValue(int index, const std::int32_t* values);
        /** UnsignedInt and Font: the low 8 bits of each value; Sampler: the
            low 16 bits, little-endian */
        void setParamValue(int index, const std::uint32_t* values);
        /** Float: the low 8 bits of value*255, truncated toward zero, not
            clamped (1.0 gives 255, 0.5 gives 127) */
        void setParamValue(int index, const float* values);

    private:
        const MaterialDefinition* _definition;
        std::vector<std::uint8_t> _data;
};

}
