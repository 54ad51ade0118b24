#pragma once
// Symbols of the shared library are hidden unless marked with this macro.
#define ZANDELLE_EXPORT __attribute__((visibility("default")))
