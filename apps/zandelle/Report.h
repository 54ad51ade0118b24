#pragma once
// The HTML report of a run: one self-contained file (inline CSS and SVG,
// thumbnails as PNG data URIs, no script, nothing fetched) that opens from
// disk and prints. Written from the same summary as --json; every figure
// it shows from that summary carries the summary member's JSON pointer in a
// data-figure attribute (and, where the text is rounded, the exact value in
// data-value), so the two can be compared.

#include <string>

#include "Summary.h"

namespace ZandelleEngine { namespace Cli {

std::string reportToHtml(const SummaryData& summary);

}}
