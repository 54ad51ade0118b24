#include "AssetCompiler/CompileCache.h"

#include <unordered_set>

#include "Base/Log.h"
#include "Base/Path.h"

namespace ZandelleEngine {

namespace {

struct KindInfo {
    const char* name;
    const char* extension;
};

constexpr KindInfo Kinds[CacheKindCount]{
    {"tile", ".basis"},
    {"font", ".bin"},
};

}

CompileCache::CompileCache() = default;
CompileCache::~CompileCache() = default;

void CompileCache::configureShared(std::string_view url, int workerCount, SharedCache::Timeouts timeouts) {
    if(url == _sharedUrlText && (_shared || url.empty())) return;
    _sharedUrlText = url;
    _shared.reset();
    if(url.empty()) return;
    Result<SharedCacheUrl> parsed = SharedCacheUrl::parse(url);
    if(!parsed) {
        Warning{} << "Shared cache URL not used:" << parsed.error();
        return;
    }
    _shared = std::make_unique<SharedCache>(std::move(*parsed), workerCount, timeouts);
}

std::string CompileCache::localPath(CacheKind kind, std::string_view directory, std::string_view name) {
    return Path::join(directory, std::string{name} + Kinds[std::size_t(kind)].extension);
}

const char* CompileCache::kindName(CacheKind kind) { return Kinds[std::size_t(kind)].name; }

bool CompileCache::writeLocal(CacheKind kind, std::string_view directory, std::string_view name, std::span<const char> bytes) {
    const std::string path = localPath(kind, directory, name);
    /* Not synced: an entry a crash cut short fails its check on the next
       read and is built or fetched again, and a sync per tile would cost a
       shared hit more than the read itself */
    if(!Path::makeOwned(directory) || !Path::writeAtomic(path, std::string_view{bytes.data(), bytes.size()}, Path::Sync::Rewritable))
        return false;
    ++counter(kind, CacheLevel::Local).writes;
    return true;
}

void CompileCache::get(CacheKind kind, std::string_view directory, std::span<CacheEntry> entries, const Check& check) {
    /* Keeps the candidates that pass the check, counts the others */
    auto accept = [&](const std::vector<std::size_t>& candidates, CacheLevel level) {
        std::vector<bool> good;
        if(!candidates.empty()) good = check(candidates);
        std::vector<std::size_t> rejected;
        for(std::size_t k = 0; k != candidates.size(); ++k) {
            if(k < good.size() && good[k]) ++counter(kind, level).hits;
            else rejected.push_back(candidates[k]);
        }
        return rejected;
    };

    std::vector<std::size_t> candidates;
    for(std::size_t i = 0; i != entries.size(); ++i) {
        const std::string path = localPath(kind, directory, entries[i].name);
        if(!Path::exists(path)) continue;
        entries[i].bytes = Path::read(path);
        if(entries[i].bytes) candidates.push_back(i);
        else {
            entries[i].localRejected = true;
            ++counter(kind, CacheLevel::Local).rejected;
        }
    }
    for(std::size_t i: accept(candidates, CacheLevel::Local)) {
        entries[i].bytes.reset();
        entries[i].localRejected = true;
        ++counter(kind, CacheLevel::Local).rejected;
    }

    std::vector<std::size_t> missing;
    std::vector<std::string> keys;
    for(std::size_t i = 0; i != entries.size(); ++i) if(!entries[i].bytes) {
        missing.push_back(i);
        keys.push_back(SharedCache::key(Kinds[std::size_t(kind)].name, entries[i].name));
    }
    counter(kind, CacheLevel::Local).misses += std::uint32_t(missing.size());
    if(missing.empty() || !_shared || _shared->off()) return;

    const std::optional<std::vector<SharedCacheReply>> replies = _shared->get(keys);
    if(!replies) return;
    /* A name repeated in the batch is reported once */
    std::unordered_set<std::string> reported;
    auto reject = [&](std::size_t k) {
        CacheEntry& entry = entries[missing[k]];
        entry.bytes.reset();
        entry.fromShared = false;
        entry.sharedRejected = true;
        ++counter(kind, CacheLevel::Shared).rejected;
        if(reported.insert(keys[k]).second)
            Warning{} << "Failed loading shared cache entry:" << keys[k] << Debug::nospace << ", rebuilding";
    };
    candidates.clear();
    std::vector<std::size_t> candidateKeys(entries.size());
    for(std::size_t k = 0; k != missing.size(); ++k) {
        const SharedCacheReply& reply = (*replies)[k];
        if(reply.kind == SharedCacheReply::Found) {
            entries[missing[k]].bytes = reply.bytes;
            entries[missing[k]].fromShared = true;
            candidates.push_back(missing[k]);
            candidateKeys[missing[k]] = k;
        } else if(reply.kind == SharedCacheReply::Unusable) reject(k);
    }
    const std::vector<std::size_t> bad = accept(candidates, CacheLevel::Shared);
    for(std::size_t i: bad) reject(candidateKeys[i]);
    counter(kind, CacheLevel::Shared).misses += std::uint32_t(missing.size() - (candidates.size() - bad.size()));
    /* What the shared level gave is kept locally; a name repeated in the
       batch is written once */
    std::unordered_set<std::string> written;
    for(std::size_t i: candidates) {
        const CacheEntry& entry = entries[i];
        if(entry.bytes && written.insert(entry.name).second && !writeLocal(kind, directory, entry.name, *entry.bytes))
            Error{} << "Failed writing cache file:" << localPath(kind, directory, entry.name);
    }
}

bool CompileCache::put(CacheKind kind, std::string_view directory, const CacheEntry& entry, std::span<const char> bytes) {
    const bool local = writeLocal(kind, directory, entry.name, bytes);
    if(_shared && _shared->put(SharedCache::key(Kinds[std::size_t(kind)].name, entry.name), bytes, entry.sharedRejected))
        ++counter(kind, CacheLevel::Shared).writes;
    return local;
}

CacheCounts CompileCache::counts() const {
    CacheCounts out;
    for(std::size_t k = 0; k != CacheKindCount; ++k) for(std::size_t l = 0; l != CacheLevelCount; ++l) {
        const Counters& in = _counters[k][l];
        out.levels[k][l] = {in.hits.load(), in.misses.load(), in.writes.load(), in.rejected.load()};
    }
    if(_shared) {
        out.sharedErrors = _shared->errors.load();
        out.sharedSeconds = double(_shared->nanoseconds.load())*1e-9;
    }
    return out;
}

}
