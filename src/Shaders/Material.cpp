#include "Shaders/Material.h"

#include <cmath>

#include "Base/Assert.h"

namespace ZandelleEngine {

Material::Material(const MaterialDefinition& definition):
    _definition{&definition}, _data(definition.size(), 0) {}

namespace {

using DataType = MaterialDefinition::DataType;

/* The low 8 bits of the float scaled to 0..255, as a wrapping integer
   conversion would give them, without its undefined cases */
std::uint8_t floatToByte(float value) {
    const double scaled = std::trunc(double(value*255.0f));
    if(!std::isfinite(scaled)) return 0;
    double low = std::fmod(scaled, 256.0);
    if(low < 0.0) low += 256.0;
    return std::uint8_t(low);
}

}

void Material::setParamValue(int index, const std::int32_t* values) {
    if(index < 0) return;
    ZE_ASSERT(std::size_t(index) < _definition->parameterCount());
    const ParameterType& type = _definition->parameterTypes[index];
    if(type.dataType != DataType::Int)
        fatal("Material::setParamValue(int): Expected " + dataTypeName(DataType::Int) +
            " but got " + dataTypeName(type.dataType));
    std::uint8_t* out = _data.data() + _definition->offset(index);
    for(std::size_t i = 0; i != type.componentCount; ++i)
        out[i] = std::uint8_t(std::uint32_t(values[i]) & 0xff);
}

void Material::setParamValue(int index, const std::uint32_t* values) {
    if(index < 0) return;
    ZE_ASSERT(std::size_t(index) < _definition->parameterCount());
    const ParameterType& type = _definition->parameterTypes[index];
    if(type.dataType != DataType::UnsignedInt && type.dataType != DataType::Font && type.dataType != DataType::Sampler)
        fatal("Material::setParamValue(unsigned int): Expected " + dataTypeName(DataType::UnsignedInt) +
            " or " + dataTypeName(DataType::Font) + " or " + dataTypeName(DataType::Sampler) +
            " but got " + dataTypeName(type.dataType));
    std::uint8_t* out = _data.data() + _definition->offset(index);
    for(std::size_t i = 0; i != type.componentCount; ++i) {
        if(type.dataType == DataType::Sampler) {
            out[2*i] = std::uint8_t(values[i] & 0xff);
            out[2*i + 1] = std::uint8_t((values[i] >> 8) & 0xff);
        } else out[i] = std::uint8_t(values[i] & 0xff);
    }
}

void Material::setParamValue(int index, const float* values) {
    if(index < 0) return;
    ZE_ASSERT(std::size_t(index) < _definition->parameterCount());
    const ParameterType& type = _definition->parameterTypes[index];
    if(type.dataType != DataType::Float)
        fatal("Material::setParamValue(float): Expected " + dataTypeName(DataType::Float) +
            " but got " + dataTypeName(type.dataType));
    std::uint8_t* out = _data.data() + _definition->offset(index);
    for(std::size_t i = 0; i != type.componentCount; ++i)
        out[i] = floatToByte(values[i]);
}

}
