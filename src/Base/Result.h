#pragma once
// A value or an error message. Reading the error of a valid result or the
// value of an invalid one is a programming error.

#include <string>
#include <utility>
#include <variant>

#include "Base/Assert.h"

namespace ZandelleEngine {

struct ResultError {
    std::string message;
};

/** Makes an error for any Result<T>: `return resultError("...")`. */
inline ResultError resultError(std::string message) { return ResultError{std::move(message)}; }

template<class T> class Result {
    public:
        Result(T value): _data{std::in_place_index<0>, std::move(value)} {}
        Result(ResultError error): _data{std::in_place_index<1>, std::move(error.message)} {}

        bool isValid() const { return _data.index() == 0; }
        explicit operator bool() const { return isValid(); }

        const std::string& error() const {
            if(isValid()) fatal("Result::error(): Accessed error of valid result");
            return std::get<1>(_data);
        }

        T& value() { check(); return std::get<0>(_data); }
        const T& value() const { check(); return std::get<0>(_data); }
        T& operator*() { return value(); }
        const T& operator*() const { return value(); }
        T* operator->() { return &value(); }
        const T* operator->() const { return &value(); }

    private:
        void check() const {
            if(!isValid()) fatal("Result::*(): Accessed value of invalid result");
        }
        std::variant<T, std::string> _data;
};

}
