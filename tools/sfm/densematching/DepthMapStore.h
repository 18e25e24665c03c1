#pragma once

#include <string>

#include "DepthMap.h"

// Depth maps handed from one matcher run to the next over the same prepared
// folder: the clusters of a dense stage overlap, and a view that one cluster
// swept as a target is a helping view of another. A later run reads that map
// instead of sweeping the view again.
// One file per view, written whole (AtomicFile); a map is used only when it
// was made with the same settings (key) and the same reduced camera, so a
// map of another run or a damaged file is swept again, never taken.
class DepthMapStore
{
public:
    // folder: where the maps lie (DenseLayout::depthMapFolder()).
    explicit DepthMapStore(std::string folder);

    bool save(int view, const std::string& key, const DepthMap& map, std::string* error = nullptr) const;
    // False (map untouched) when there is none, it is damaged, or it was
    // made with other settings or for another camera.
    bool load(int view, const std::string& key, const MvsCamera& camera, DepthMap& map) const;
    void remove(int view) const;

    std::string path(int view) const;

private:
    std::string m_folder;
};
