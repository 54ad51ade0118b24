#include "Report.h"

#include <algorithm>
#include <cmath>
#include <array>
#include <optional>

#include <fmt/format.h>

#include "Engine/ImageTools.h"
#include "Html.h"
#include "Tools/Version.h"

namespace ZandelleEngine { namespace Cli {

namespace {

/* Light page, dark text; the palettes below are told apart by hue and
   lightness both */
constexpr const char* Style = R"(
:root { --ink: #1d2430; --muted: #5d6778; --line: #dde2ea; --panel: #f6f8fb; --good: #2e8b57; --bad: #c0392b; --warn: #b7791f; }
* { box-sizing: border-box; }
body { margin: 0; padding: 28px 40px 48px; color: var(--ink); background: #fff;
  font: 14px/1.45 system-ui, -apple-system, "Segoe UI", "DejaVu Sans", Roboto, sans-serif; }
main { max-width: 1200px; margin: 0 auto; }
h1 { font-size: 26px; margin: 0 0 2px; }
h1 small { font-weight: normal; color: var(--muted); font-size: 16px; }
h2 { font-size: 17px; margin: 30px 0 10px; padding-bottom: 4px; border-bottom: 1px solid var(--line); }
p { margin: 6px 0; }
.muted { color: var(--muted); }
.facts { display: flex; flex-wrap: wrap; gap: 4px 28px; margin: 8px 0 14px; color: var(--muted); }
.facts b { color: var(--ink); font-weight: 600; }
.status { display: inline-block; padding: 3px 10px; border-radius: 12px; font-weight: 600; color: #fff; background: var(--good); }
.status.bad { background: var(--bad); }
.status.warn { background: var(--warn); }
.cards { display: flex; flex-wrap: wrap; gap: 10px; margin-top: 12px; }
.card { background: var(--panel); border: 1px solid var(--line); border-radius: 8px; padding: 8px 14px; min-width: 118px; }
.card .figure { font-size: 22px; font-weight: 650; }
.card .label { color: var(--muted); font-size: 12px; }
svg { display: block; max-width: 100%; height: auto; }
svg text { font: 12px system-ui, -apple-system, "Segoe UI", "DejaVu Sans", sans-serif; fill: var(--ink); }
svg .axis { fill: var(--muted); font-size: 11px; }
.legend { display: flex; flex-wrap: wrap; gap: 4px 16px; margin: 6px 0 8px; font-size: 12px; color: var(--muted); }
.swatch { display: inline-block; width: 11px; height: 11px; border-radius: 2px; margin-right: 5px; vertical-align: -1px; }
table { border-collapse: collapse; }
th, td { padding: 4px 12px 4px 0; text-align: left; vertical-align: top; border-bottom: 1px solid var(--line); }
th { font-weight: 600; color: var(--muted); font-size: 12px; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
.tables { display: flex; flex-wrap: wrap; gap: 12px 48px; align-items: flex-start; }
.images { display: grid; grid-template-columns: repeat(auto-fill, minmax(370px, 1fr)); gap: 12px; }
.image { display: flex; gap: 12px; border: 1px solid var(--line); border-radius: 8px; padding: 10px; background: var(--panel); }
.image img { flex: none; border: 1px solid var(--line); background: #fff; }
.image .noimage { flex: none; width: 96px; height: 96px; border: 1px dashed var(--line); color: var(--muted);
  font-size: 11px; display: flex; align-items: center; justify-content: center; text-align: center; }
.image h3 { font-size: 14px; margin: 0 0 2px; overflow-wrap: anywhere; }
.log td.text { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 12.5px; white-space: pre-wrap; overflow-wrap: anywhere; }
.level { font-size: 11px; font-weight: 700; padding: 1px 7px; border-radius: 9px; color: #fff; }
.level.Error { background: var(--bad); }
.level.Warning { background: var(--warn); }
footer { margin-top: 36px; color: var(--muted); font-size: 12px; }
@media print {
  body { padding: 0; font-size: 11px; }
  section, .image, tr { break-inside: avoid; }
  .card, .image { background: #fff; }
}
)";

const char* spanKindName(RunSpanKind kind) {
    switch(kind) {
        case RunSpanKind::Step: return "compile step";
        case RunSpanKind::Mips: return "mip levels";
        case RunSpanKind::Tiles: return "tile batch";
        case RunSpanKind::Probe: return "probe environment";
        case RunSpanKind::Font: return "font";
    }
    return "";
}
const char* spanKindColour(RunSpanKind kind) {
    switch(kind) {
        case RunSpanKind::Step: return "#7a8699";
        case RunSpanKind::Mips: return "#d9a22b";
        case RunSpanKind::Tiles: return "#3578c6";
        case RunSpanKind::Probe: return "#8d55b8";
        case RunSpanKind::Font: return "#2e9e6e";
    }
    return "#000";
}
const char* fateName(TileFate fate) {
    switch(fate) {
        case TileFate::LocalCache: return "from the local cache";
        case TileFate::SharedCache: return "from the shared cache";
        case TileFate::Encoded: return "encoded";
        case TileFate::Failed: return "failed";
    }
    return "";
}
const char* fateColour(TileFate fate) {
    switch(fate) {
        case TileFate::LocalCache: return "#5bb381";
        case TileFate::SharedCache: return "#38a9c2";
        case TileFate::Encoded: return "#ee8a2f";
        case TileFate::Failed: return "#d0342c";
    }
    return "#000";
}

std::string number(double value) { return fmt::format("{}", value); }
std::string milliseconds(double seconds) {
    if(seconds < 1e-4) return fmt::format("{:.0f} \u00b5s", seconds*1e6);
    return seconds < 1.0 ? fmt::format("{:.1f} ms", seconds*1000.0) : fmt::format("{:.2f} s", seconds);
}
std::string px(double value) { return fmt::format("{:.1f}", value); }

/* A figure of the summary: its text, and the member it shows */
void figure(HtmlWriter& html, std::string_view tag, const std::string& pointer, std::uint64_t value,
    const char* className = nullptr)
{
    if(className) html.element(tag, {{"class", className}, {"data-figure", pointer}}, std::to_string(value));
    else html.element(tag, {{"data-figure", pointer}}, std::to_string(value));
}

void legendEntry(HtmlWriter& html, const char* colour, const std::string& text) {
    /* An HTML parser reads "<span/>" as an open tag: the swatch is closed
       explicitly */
    html.open("span").element("span", {{"class", "swatch"}, {"style", fmt::format("background:{}", colour)}}, "")
        .text(text).close();
}

void header(HtmlWriter& html, const SummaryData& s) {
    html.open("h1").text("Compile report ");
    if(s.name.empty()) html.element("small", "(unnamed project)");
    else html.element("small", {{"data-figure", "/project/name"}}, s.name);
    html.close();
    html.open("div", {{"class", "facts"}});
    html.open("span").text("Project file ").element("b", {{"data-figure", "/project/path"}}, s.path).close();
    html.open("span").text("Version ").element("b", s.version[3] ?
        fmt::format("{}.{}.{} prerelease {}", s.version[0], s.version[1], s.version[2], s.version[3]) :
        fmt::format("{}.{}.{}", s.version[0], s.version[1], s.version[2])).close();
    if(!s.startedAt.empty()) html.open("span").text("Run ").element("b", s.startedAt).close();
    html.open("span").text("Machine ").element("b", fmt::format("{} hardware threads, {} job workers", s.cores, s.workers)).close();
    html.open("span").text("Total ").element("b", {{"data-figure", "/timings/loadSeconds"}, {"data-value", number(s.loadSeconds)}},
        milliseconds(s.loadSeconds)).close();
    html.open("span").text("Background jobs after the steps ").element("b", {{"data-figure", "/timings/jobsSeconds"},
        {"data-value", number(s.jobsSeconds)}}, milliseconds(s.jobsSeconds)).close();
    html.close();

    const char* statusClass = s.errors ? "status bad" : s.warnings ? "status warn" : "status";
    std::string status;
    if(s.errors) status = fmt::format("{} {}", s.errors, s.errors == 1 ? "error" : "errors");
    if(s.warnings) status += fmt::format("{}{} {}", status.empty() ? "" : ", ", s.warnings, s.warnings == 1 ? "warning" : "warnings");
    if(status.empty()) status = "No warnings or errors";
    if(s.stepSeconds.empty()) status = "Not compiled: " + status;
    html.element("span", {{"class", statusClass}}, status);

    html.open("div", {{"class", "cards"}});
    auto card = [&](const char* label, const std::string& pointer, std::uint64_t value) {
        html.open("div", {{"class", "card"}});
        figure(html, "div", pointer, value, "figure");
        html.element("div", {{"class", "label"}}, label).close();
    };
    card("objects", "/counts/objects", s.objects);
    card("images", "/counts/images", s.images);
    card("images compressed", "/jobs/imagesCompressed", s.imagesCompressed);
    card("tiles encoded", "/jobs/tilesEncoded", s.tilesEncoded);
    card("tiles from cache", "/jobs/tilesFromCache", s.tilesFromCache);
    card("fonts built", "/jobs/fontsBuilt", s.fontsBuilt);
    card("warnings", "/warnings", s.warnings);
    card("errors", "/errors", s.errors);
    html.close();
}

void steps(HtmlWriter& html, const SummaryData& s) {
    html.element("h2", "Compile steps");
    if(s.stepSeconds.empty()) {
        html.element("p", {{"class", "muted"}}, "No compile steps ran.");
        return;
    }
    double total = 0.0, longest = 0.0;
    for(const auto& step: s.stepSeconds) {
        total += step.second;
        longest = std::max(longest, step.second);
    }
    html.element("p", {{"class", "muted"}}, fmt::format("{} steps in {}, on the thread that compiled the project; "
        "image compression and font building continue as background jobs.", s.stepSeconds.size(), milliseconds(total)));
    constexpr double Label = 130.0, Width = 1160.0, Bars = 900.0, Row = 22.0;
    const double height = Row*double(s.stepSeconds.size()) + 4.0;
    html.open("svg", {{"xmlns", "http://www.w3.org/2000/svg"}, {"width", px(Width)}, {"height", px(height)},
        {"viewBox", fmt::format("0 0 {} {}", Width, height)}, {"role", "img"}, {"aria-label", "Time of each compile step"}});
    double y = 2.0;
    for(const auto& [name, seconds]: s.stepSeconds) {
        const double width = longest > 0.0 ? std::max(seconds/longest*Bars, 1.0) : 1.0;
        html.element("text", {{"x", px(Label - 8.0)}, {"y", px(y + 15.0)}, {"text-anchor", "end"}}, name);
        html.open("rect", {{"x", px(Label)}, {"y", px(y + 3.0)}, {"width", px(width)}, {"height", px(Row - 6.0)},
            {"rx", "2"}, {"fill", spanKindColour(RunSpanKind::Step)}})
            .element("title", fmt::format("{}: {}", name, milliseconds(seconds))).close();
        html.element("text", {{"x", px(Label + width + 6.0)}, {"y", px(y + 15.0)}, {"data-figure", "/timings/steps/" + name},
            {"data-value", number(seconds)}}, milliseconds(seconds));
        y += Row;
    }
    html.close();
}

/* Total length of the union of @p intervals */
double coveredSeconds(std::vector<std::pair<double, double>> intervals) {
    std::sort(intervals.begin(), intervals.end());
    double covered = 0.0, end = -1e300;
    for(const auto& [start, stop]: intervals) {
        if(stop <= end) continue;
        covered += stop - std::max(start, end);
        end = stop;
    }
    return covered;
}

/* 1, 2 or 5 times a power of ten, giving about eight ticks over @p range */
double tickStep(double range) {
    const double raw = range/8.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for(double m: {1.0, 2.0, 5.0}) if(m*power >= raw) return m*power;
    return 10.0*power;
}

void timeline(HtmlWriter& html, const SummaryData& s) {
    html.element("h2", "Background jobs");
    if(s.spans.empty()) {
        html.element("p", {{"class", "muted"}}, "No compile steps or background jobs ran.");
        return;
    }
    double first = s.spans.front().start, last = 0.0;
    bool otherThreads = false;
    std::array<std::size_t, RunSpanKindCount> kinds{};
    for(const RunSpan& span: s.spans) {
        first = std::min(first, span.start);
        last = std::max(last, span.end);
        otherThreads |= span.worker < 0 || span.worker >= s.workers;
        ++kinds[std::size_t(span.kind)];
    }
    const double window = std::max(last - first, 1e-6);

    /* Lanes: one per worker, then one for every other thread */
    const int lanes = s.workers + (otherThreads ? 1 : 0);
    std::vector<std::vector<std::pair<double, double>>> busy(static_cast<std::size_t>(lanes));
    auto laneOf = [&](int worker) { return worker >= 0 && worker < s.workers ? worker : s.workers; };
    for(const RunSpan& span: s.spans) busy[std::size_t(laneOf(span.worker))].emplace_back(span.start, span.end);
    double workersBusy = 0.0;
    std::vector<double> laneShare;
    for(int lane = 0; lane != lanes; ++lane) {
        const double covered = coveredSeconds(busy[std::size_t(lane)]);
        laneShare.push_back(covered/window);
        if(lane < s.workers) workersBusy += covered;
    }
    std::string shares;
    for(int w = 0; w != s.workers; ++w) shares += fmt::format("{}worker {} {:.0f}%", w ? ", " : "", w, laneShare[std::size_t(w)]*100.0);
    html.open("p").text("The workers were busy ")
        .element("b", fmt::format("{:.0f}%", s.workers ? workersBusy/(window*s.workers)*100.0 : 0.0))
        .text(fmt::format(" of the {} from the first compile step to the end of the last job ({}).", milliseconds(window), shares))
        .close();

    html.open("div", {{"class", "legend"}});
    for(std::size_t k = 0; k != RunSpanKindCount; ++k) if(kinds[k])
        legendEntry(html, spanKindColour(RunSpanKind(k)), fmt::format("{} ({})", spanKindName(RunSpanKind(k)), kinds[k]));
    html.close();

    constexpr double Label = 96.0, Width = 1160.0, Lane = 26.0, Gap = 6.0, Axis = 22.0;
    const double plot = Width - Label - 10.0;
    const double height = lanes*(Lane + Gap) + Axis;
    auto x = [&](double t) { return Label + (t - first)/window*plot; };
    html.open("svg", {{"xmlns", "http://www.w3.org/2000/svg"}, {"width", px(Width)}, {"height", px(height)},
        {"viewBox", fmt::format("0 0 {} {}", Width, height)}, {"role", "img"}, {"aria-label", "Jobs per worker over time"}});
    for(int lane = 0; lane != lanes; ++lane) {
        const double y = lane*(Lane + Gap);
        html.empty("rect", {{"x", px(Label)}, {"y", px(y)}, {"width", px(plot)}, {"height", px(Lane)}, {"fill", "#f1f3f7"}});
        html.element("text", {{"x", px(Label - 8.0)}, {"y", px(y + 13.0)}, {"text-anchor", "end"}},
            lane < s.workers ? fmt::format("worker {}", lane) : std::string{"other"});
        html.element("text", {{"x", px(Label - 8.0)}, {"y", px(y + 24.0)}, {"text-anchor", "end"}, {"class", "axis"}},
            fmt::format("{:.0f}% busy", laneShare[std::size_t(lane)]*100.0));
    }
    const double step = tickStep(window);
    for(double t = 0.0; t <= window + 1e-9; t += step) {
        const double tx = x(first + t);
        html.empty("line", {{"x1", px(tx)}, {"x2", px(tx)}, {"y1", "0"}, {"y2", px(lanes*(Lane + Gap) - Gap + 4.0)},
            {"stroke", "#d5dae3"}, {"stroke-width", "1"}});
        html.element("text", {{"x", px(tx)}, {"y", px(height - 6.0)}, {"text-anchor", "middle"}, {"class", "axis"}},
            step < 1.0 ? fmt::format("{:g} ms", std::round(t*1e4)/10.0) : fmt::format("{:g} s", t));
    }
    /* Compile steps first, so the shorter jobs drawn over them stay visible */
    for(const bool steps: {true, false}) for(const RunSpan& span: s.spans) {
        if((span.kind == RunSpanKind::Step) != steps) continue;
        const double y = laneOf(span.worker)*(Lane + Gap) + (steps ? 0.0 : 3.0);
        html.open("rect", {{"x", px(x(span.start))}, {"y", px(y)}, {"width", px(std::max(x(span.end) - x(span.start), 1.0))},
            {"height", px(steps ? Lane : Lane - 6.0)}, {"fill", spanKindColour(span.kind)}, {"fill-opacity", steps ? "0.45" : "1"},
            {"stroke", "#fff"}, {"stroke-width", "0.5"}})
            .element("title", fmt::format("{} {}: {} at {:.3f} s", spanKindName(span.kind), span.label,
                milliseconds(span.end - span.start), span.start - first))
            .close();
    }
    html.close();
}

void caches(HtmlWriter& html, const SummaryData& s) {
    html.element("h2", "Caches");
    html.open("table").open("tr").element("th", "kind").element("th", "level")
        .element("th", {{"class", "n"}}, "hits").element("th", {{"class", "n"}}, "misses")
        .element("th", {{"class", "n"}}, "writes").close();
    for(const SummaryData::CacheRow& row: s.caches) {
        const std::string pointer = fmt::format("/caches/{}/{}/", row.kind, row.level);
        html.open("tr").element("td", row.kind).element("td", row.level);
        figure(html, "td", pointer + "hits", row.figures.hits, "n");
        figure(html, "td", pointer + "misses", row.figures.misses, "n");
        figure(html, "td", pointer + "writes", row.figures.writes, "n");
        html.close();
    }
    html.close();
}

void imageCard(HtmlWriter& html, const ImageTiles& image) {
    html.open("div", {{"class", "image"}});
    const std::optional<std::vector<char>> png = image.thumbnail.size.x ? ImageTools::encodePng(image.thumbnail) : std::nullopt;
    if(png) html.empty("img", {{"src", "data:image/png;base64," + base64({png->data(), png->size()})},
        {"width", std::to_string(image.thumbnail.size.x)}, {"height", std::to_string(image.thumbnail.size.y)},
        {"alt", "level 0 of " + image.name}});
    else html.element("div", {{"class", "noimage"}}, "no preview");

    html.open("div");
    html.element("h3", image.name.empty() ? image.key : image.name);
    std::string counts = fmt::format("key {}, {} tiles:", image.key, image.fates.size());
    bool firstFate = true;
    for(std::size_t f = 0; f != TileFateCount; ++f) if(const std::size_t n = image.count(TileFate(f))) {
        counts += fmt::format("{} {} {}", firstFate ? "" : ",", n, fateName(TileFate(f)));
        firstFate = false;
    }
    html.element("p", {{"class", "muted"}}, counts);

    /* The levels side by side, each tile one square, in the grid's cell
       size for the largest level */
    int larger = 1;
    for(const ImageTiles::Level& level: image.levels) larger = std::max({larger, level.columns, level.rows});
    const double cell = std::clamp(std::floor(180.0/larger), 3.0, 18.0), gap = 14.0, top = 16.0;
    double width = 0.0, height = 0.0;
    for(const ImageTiles::Level& level: image.levels) {
        width += std::max(level.columns*cell, 24.0) + gap;
        height = std::max(height, top + level.rows*cell);
    }
    html.open("svg", {{"xmlns", "http://www.w3.org/2000/svg"}, {"width", px(width)}, {"height", px(height + 2.0)},
        {"viewBox", fmt::format("0 0 {} {}", px(width), px(height + 2.0))}, {"role", "img"},
        {"aria-label", "What became of each tile, level by level"}});
    double left = 0.0;
    std::size_t index = 0;
    for(std::size_t l = 0; l != image.levels.size(); ++l) {
        const ImageTiles::Level& level = image.levels[l];
        html.element("text", {{"x", px(left)}, {"y", "11"}, {"class", "axis"}}, fmt::format("L{}", l));
        /* Tile rows run bottom to top, as the image's rows do */
        for(int y = 0; y != level.rows; ++y) for(int x = 0; x != level.columns && index < image.fates.size(); ++x, ++index) {
            const TileFate fate = image.fates[index];
            const int row = level.rows - 1 - y;
            html.open("rect", {{"x", px(left + x*cell)}, {"y", px(top + row*cell)}, {"width", px(cell - 1.0)},
                {"height", px(cell - 1.0)}, {"fill", fateColour(fate)}})
                .element("title", fmt::format("level {}, column {}, row {} from the top: {}", l, x, row, fateName(fate))).close();
        }
        left += std::max(level.columns*cell, 24.0) + gap;
    }
    html.close();
    html.close().close();
}

void images(HtmlWriter& html, const SummaryData& s) {
    html.element("h2", "Compressed images");
    if(s.compressedImages.empty()) {
        html.element("p", {{"class", "muted"}}, s.images ? "No image was compressed in this run." : "The project has no images.");
        return;
    }
    /* Only what happened: a level that was not there shows no colour */
    std::array<bool, TileFateCount> seen{};
    for(const ImageTiles& image: s.compressedImages) for(TileFate fate: image.fates) seen[std::size_t(fate)] = true;
    html.open("div", {{"class", "legend"}});
    for(std::size_t f = 0; f != TileFateCount; ++f) if(seen[f])
        legendEntry(html, fateColour(TileFate(f)), fmt::format("tile {}", fateName(TileFate(f))));
    html.close();
    html.open("div", {{"class", "images"}});
    for(const ImageTiles& image: s.compressedImages) imageCard(html, image);
    html.close();
}

void logLines(HtmlWriter& html, const SummaryData& s) {
    html.element("h2", "Warnings and errors");
    if(s.logLines.empty()) {
        html.element("p", {{"class", "muted"}}, "No warnings or errors.");
        return;
    }
    html.element("p", {{"class", "muted"}}, "Each text once, in the order first printed, with how often it was printed.");
    html.open("table", {{"class", "log"}}).open("tr").element("th", "level").element("th", {{"class", "n"}}, "count")
        .element("th", "text").close();
    /* A project can warn once per record: past a limit the rest is counted */
    constexpr std::size_t MaxTexts = 1000;
    for(std::size_t i = 0; i != std::min(s.logLines.size(), MaxTexts); ++i) {
        const RunLogLine& line = s.logLines[i];
        const char* level = line.level == LogLevel::Error ? "Error" : "Warning";
        html.open("tr").open("td").element("span", {{"class", fmt::format("level {}", level)}}, level).close()
            .element("td", {{"class", "n"}, {"data-count", level}}, std::to_string(line.count))
            .element("td", {{"class", "text"}}, line.text).close();
    }
    if(s.logLines.size() > MaxTexts) {
        std::size_t lines = 0;
        for(std::size_t i = MaxTexts; i != s.logLines.size(); ++i) lines += s.logLines[i].count;
        html.open("tr").element("td", "").element("td", {{"class", "n"}}, std::to_string(lines))
            .element("td", {{"class", "text"}}, fmt::format("and {} more texts", s.logLines.size() - MaxTexts)).close();
    }
    html.close();
}

void counts(HtmlWriter& html, const SummaryData& s) {
    html.element("h2", "Counts");
    html.open("div", {{"class", "tables"}});
    auto table = [&](const char* title, const std::vector<std::pair<std::string, std::uint64_t>>& rows, const std::string& prefix) {
        html.open("table").open("tr").element("th", title).element("th", {{"class", "n"}}, "").close();
        for(const auto& [name, value]: rows) {
            html.open("tr").element("td", name);
            figure(html, "td", prefix + name, value, "n");
            html.close();
        }
        html.close();
    };
    table("compiled", {{"objects", s.objects}, {"meshes", s.meshes}, {"skins", s.skins}, {"animations", s.animations},
        {"images", s.images}, {"textures", s.textures}, {"materials", s.materials}, {"pipelines", s.pipelines},
        {"shaders", s.shaders}, {"fonts", s.fonts}, {"languages", s.languages}}, "/counts/");
    std::vector<std::pair<std::string, std::uint64_t>> components;
    for(const auto& [name, count]: s.components) components.emplace_back(name, count);
    table("components", components, "/counts/components/");
    table("background jobs", {{"imagesCompressed", s.imagesCompressed}, {"tilesEncoded", s.tilesEncoded},
        {"tilesFromCache", s.tilesFromCache}, {"fontsBuilt", s.fontsBuilt}, {"fontsFromCache", s.fontsFromCache},
        {"tilesFromSharedCache", s.tilesFromSharedCache}, {"fontsFromSharedCache", s.fontsFromSharedCache},
        {"sharedCacheWrites", s.sharedCacheWrites}, {"sharedCacheErrors", s.sharedCacheErrors}}, "/jobs/");
    std::vector<std::pair<std::string, std::uint64_t>> records;
    for(const auto& [name, count]: s.records) records.emplace_back(name, count);
    table("records", records, "/records/");
    html.close();
}

}

std::string reportToHtml(const SummaryData& s) {
    HtmlWriter html;
    html.raw("<!DOCTYPE html>\n");
    html.open("html", {{"xmlns", "http://www.w3.org/1999/xhtml"}, {"lang", "en"}});
    /* Nothing outside the file may load; a browser reports any attempt
       on its console */
    html.open("head").empty("meta", {{"charset", "utf-8"}})
        .empty("meta", {{"http-equiv", "Content-Security-Policy"},
            {"content", "default-src 'none'; img-src data:; style-src 'unsafe-inline'"}})
        .empty("meta", {{"name", "viewport"}, {"content", "width=device-width, initial-scale=1"}})
        .element("title", "Compile report: " + (s.name.empty() ? s.path : s.name))
        .open("style").raw(Style).close().close();
    html.open("body").open("main");
    header(html, s);
    html.open("section");
    steps(html, s);
    html.close().open("section");
    timeline(html, s);
    html.close().open("section");
    caches(html, s);
    html.close().open("section");
    images(html, s);
    html.close().open("section");
    logLines(html, s);
    html.close().open("section");
    counts(html, s);
    html.close();
    html.element("footer", "Written by zandelle " ZANDELLE_LIBRARY_VERSION " from the run's record; the --json summary of the same run holds the same figures.");
    return html.finish() + "\n";
}

}}
