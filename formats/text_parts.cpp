#include "formats/text_parts.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "input/budget.h"

namespace tessel::vrml {

namespace {

// Below this a second thread costs more than it saves.
constexpr std::ptrdiff_t least_share = std::ptrdiff_t{4} << 20;

// The start of the first line at or after `from` that begins with a letter,
// as the top-level nodes of exported files do; null when none is near.
const char* next_line_start(const char* from, const char* end) {
    const char* limit = from + std::min<std::ptrdiff_t>(end - from, std::ptrdiff_t{1} << 20);
    for (const char* p = from; p < limit;) {
        const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(limit - p));
        if (!nl) return nullptr;
        p = static_cast<const char*>(nl) + 1;
        if (p < end && ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'))) return p;
    }
    return nullptr;
}

struct share {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::shared_ptr<document> doc = std::make_shared<document>();
    std::unique_ptr<warning_list> warnings;
    std::unique_ptr<reader::load_budget> budget;
    text_part part;                 // read from line 1: its lines are moved once its start is known
    std::int64_t stopped_line = 0;  // where it handed over to the next share
    bool stopped = false;
    bool failed = false;            // its parse threw (memory ran out)
};

}  // namespace

void parse_in_shares(const char* begin, const char* end, document& doc, warning_list& warnings,
                     reader::load_budget* budget, int threads, const share_parser& parse) {
    const std::ptrdiff_t size = end - begin;
    const int count = static_cast<int>(std::min<std::ptrdiff_t>(std::max(threads, 1), size / least_share));
    std::vector<const char*> cuts;
    for (int k = 1; k < count; ++k) {
        const char* cut = next_line_start(begin + size * k / count, end);
        if (cut && (cuts.empty() || cut > cuts.back())) cuts.push_back(cut);
    }
    if (cuts.empty()) {
        parse(begin, end, doc, warnings, budget, nullptr);
        return;
    }

    std::atomic<bool> unwanted{false};
    std::vector<share> shares(cuts.size());
    // Each share may take part of what the load has left; what it took is
    // charged to the load's budget once it joins.
    const std::int64_t left = budget ? budget->left() : reader::load_budget_limit();
    for (std::size_t i = 0; i < shares.size(); ++i) {
        share& s = shares[i];
        s.begin = cuts[i];
        s.end = end;
        s.doc->file = doc.file;
        s.warnings = std::make_unique<warning_list>(doc.file);
        s.budget = std::make_unique<reader::load_budget>(std::max<std::int64_t>(left / static_cast<std::int64_t>(2 * shares.size()), 1));
        s.part.unwanted = &unwanted;
        s.part.beside = true;
        if (i + 1 < shares.size()) s.part.next_share = cuts[i + 1] - cuts[i];
        s.part.hand_over = [&s](std::int64_t line) {
            s.stopped = true;
            s.stopped_line = line;
            return true;
        };
    }
    const auto read_share = [&parse](share& s) {
        try {
            parse(s.begin, s.end, *s.doc, *s.warnings, s.budget.get(), &s.part);
        } catch (...) {
            s.failed = true;  // the text is read again by the parser before it
        }
    };
    std::vector<std::thread> readers;
    try {
        for (share& s : shares) readers.emplace_back(read_share, std::ref(s));
    } catch (const std::system_error&) {
        // Fewer threads than asked: the shares not started are read by no one.
        unwanted = true;
    }
    const bool all_started = readers.size() == shares.size();
    const auto join = [&] {
        for (std::thread& t : readers) t.join();
        readers.clear();
    };

    // Whether every share read just its text, needing nothing from before
    // it. `line`: where the first parser stopped, which the first share's
    // line 1 is; each next share's line 1 is where the one before stopped.
    std::vector<std::int64_t> moved_by(shares.size());
    const auto usable = [&](std::int64_t line) {
        if (unwanted || !all_started) return false;
        std::int64_t spent = 0;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            const share& s = shares[i];
            const bool last = i + 1 == shares.size();
            if (s.failed || s.warnings->count() != 0 || s.budget->exceeded() || !s.doc->protos.empty() ||
                s.stopped == last || !s.doc->root)
                return false;
            moved_by[i] = line - 1;
            line += s.stopped_line - 1;
            spent += s.budget->spent();
        }
        if (budget && !budget->fits(spent)) return false;
        if (budget) budget->spend(spent, "nodes");
        return true;
    };
    text_part first;
    first.next_share = cuts.front() - begin;
    bool joined = false;
    first.hand_over = [&](std::int64_t line) {
        join();
        joined = usable(line);
        return joined;
    };
    first.passed = [&] { unwanted = true; };
    try {
        parse(begin, end, doc, warnings, budget, &first);
    } catch (...) {
        unwanted = true;
        join();
        throw;
    }
    unwanted = true;
    join();
    if (!joined || !doc.root) return;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        share& s = shares[i];
        // Its nodes and routes stand where the file has them.
        for (node& n : s.doc->nodes)
            if (n.where.line > 0) n.where.line += moved_by[i];
        for (route_statement& route : s.doc->routes)
            if (route.where.line > 0) route.where.line += moved_by[i];
        for (imported_route& route : s.doc->imported_routes)
            if (route.route.where.line > 0) route.route.where.line += moved_by[i];
        doc.root->children.insert(doc.root->children.end(), s.doc->root->children.begin(), s.doc->root->children.end());
        doc.routes.insert(doc.routes.end(), s.doc->routes.begin(), s.doc->routes.end());
        for (auto& [n, links] : s.doc->interfaces) doc.interfaces[n] = std::move(links);
        for (auto& [name, n] : s.doc->exports) doc.exports[name] = n;
        doc.imported_routes.insert(doc.imported_routes.end(), s.doc->imported_routes.begin(),
                                   s.doc->imported_routes.end());
        doc.view_names.merge(s.doc->view_names);
        doc.shares.push_back(std::move(s.doc));  // its nodes live as long as the document
    }
}

}  // namespace tessel::vrml
