// Whether a copy's destination is its source or lies inside it, however either is spelled.
#pragma once

#include <utility>

namespace qm::copy {

// Whether `path` or one of its ancestors that exists is the file `source`. `identify(path)`
// gives what exists there as an optional identity (nothing where nothing is);
// `parent(path)` the path one level up as an optional (nothing at the root).
template <typename Path, typename Id, typename Identify, typename Parent>
bool reachesThrough(Path path, const Id& source, Identify identify, Parent parent) {
  for (;;) {
    if (const auto here = identify(path); here && *here == source) return true;
    auto up = parent(path);
    if (!up) return false;
    path = std::move(*up);
  }
}

// Whether the destination, as `spelled` and as `planned` (the path it resolves to once its
// missing folders are made), is the source folder `source` or lies below it. Identity along
// the existing ancestors of both catches other spellings, links, mounted folders and bind
// mounts alike; a copy into itself would never end.
template <typename Path, typename Id, typename Identify, typename Parent>
bool isCopyIntoItself(const Path& spelled, const Path& planned, const Id& source, Identify identify,
                      Parent parent) {
  return reachesThrough(spelled, source, identify, parent) ||
         reachesThrough(planned, source, identify, parent);
}

}  // namespace qm::copy
