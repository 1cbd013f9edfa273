#pragma once
// Customer runs that straddle the stages of a publication. A run fetches
// its catalog, then (when the customer starts) the chosen product's file
// list, then each file of that list in order, each once; each fetch may
// come at any stage from the one of the fetch before it on. A run whose
// catalog came before the stage ahead of the grace stage has ended before
// the grace stage goes up. A run is sound when one version (OLD or NEW)
// names its product in that catalog and answers its list and every file
// exactly as the run received them; otherwise it breaks. The check is a
// finite walk over stage indices: per product and list, the stages each
// file can come from, the versions still possible carried along.
#include <string>
#include <vector>

#include "sitecheck/plan/Staging.h"

namespace sitecheck {

// One fetch of a run: the stage after which it came (0: before stage 1).
struct RunFetch {
    int state = 0;
    int versions = 0;  // the versions whose answer this fetch received
    bool present = false;
};

struct BrokenRun {
    // The catalog the run started from, and the product's line in it.
    std::string catalogPath;
    int catalogVersion = 0;  // whose catalog text it got (a version bit)
    int productLine = 0;
    CatalogEntry product;
    int allowed = 0;  // the versions whose catalog names the product's URL
    RunFetch catalog;
    // The list, and which version's text it got.
    std::string listUrl, listPath;
    RunFetch list;
    // The files fetched up to the one that breaks the run.
    std::vector<FileEntry> files;
    std::vector<RunFetch> fileFetches;
    // The fetch that breaks the run: -1 the list, else an index in files;
    // and the one it disagrees with: -2 the catalog, -1 the list, else a file.
    int breaking = -1, pinnedBy = -2;
    // The customer's run fails (the list or a file is missing) rather than
    // running the setup on a mix of versions.
    bool Fails() const {
        return breaking < 0 ? !list.present
                            : !fileFetches[static_cast<std::size_t>(breaking)].present;
    }
};

// Every product of the catalogs read whose run can break, with one such run
// each (the earliest stages, the first file that breaks it).
std::vector<BrokenRun> FindBrokenRuns(PathChanges& changes, const Staging& staging);

// Whether the site after `state` stages (every fetch after it) gives some
// product a list and files that no one version gives together: only then
// can `check` find on it what it finds neither on OLD nor on NEW.
bool MixedAt(PathChanges& changes, const Staging& staging, int state);

// The outcome of one given run: the product at baseUrl from the catalog at
// catalogPath, fetched after stage catalogState, its list after listState,
// its files after fileStates (one per file; the last one repeats when
// short). Empty breaking run (files empty, breaking -1 and list present):
// the run is sound. For proving the tool's real behaviour against the
// planner's verdict.
struct RunVerdict {
    bool sound = true;
    BrokenRun run;    // when not sound
    int version = 0;  // when sound: the versions the whole run agrees with
};
RunVerdict JudgeRun(PathChanges& changes, const Staging& staging, const std::string& catalogPath,
                    const std::string& baseUrl, int catalogState, int listState,
                    const std::vector<int>& fileStates);

}  // namespace sitecheck
