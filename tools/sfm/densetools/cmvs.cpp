// cmvs <pmvs folder> <largest cluster> <cpus>
// The clusters are also kept within the dense memory budget (DenseBudget),
// for the matcher's level 1 that genOption is given by the scripts.
#include <algorithm>

#include "common/files/AtomicFile.h"
#include "DenseBudget.h"
#include "DenseLayout.h"
#include "DenseTool.h"
#include "ImageClusters.h"
#include "ToolArguments.h"
#include "VisData.h"

int main(int argc, char** argv)
{
    return runDenseTool("cmvs", argc, argv, 3, "<pmvs folder> <largest cluster> <cpus>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            int size = 0, cpus = 0;
                            if (!ToolArguments::toInt(a[1], size) || size < 2) {
                                *error = "the cluster size must be a whole number of at least 2: " + a[1];
                                return false;
                            }
                            if (!ToolArguments::toInt(a[2], cpus) || cpus < 1) {
                                *error = "the processor count must be a whole number of at least 1: " + a[2];
                                return false;
                            }
                            const DenseLayout layout = DenseLayout::pmvs(a[0]);
                            BundlerFile bundle;
                            if (!bundle.readFile(layout.bundleFile(), error))
                                return false;
                            int width = 0, height = 0;
                            if (!DenseBudget::imageSize(layout.imageFile(0), width, height)) {
                                *error = "cannot read image " + layout.imageFile(0);
                                return false;
                            }
                            std::string source;
                            const std::uint64_t budget = DenseBudget::bytes(&source);
                            const int fit = DenseBudget::viewsWithin(budget, width, height, 1, cpus);
                            std::cout << "memory budget " << (budget >> 20) << " MiB (" << source
                                      << "): " << fit << " views of " << width << " x " << height
                                      << " at level 1 fit in a cluster\n";
                            const ImageClusters clusters =
                                ImageClusters::split(VisData::sharedPoints(bundle), std::min(size, fit));
                            std::cout << clusters.viewCount << " images in " << clusters.clusters.size()
                                      << " clusters\n";
                            return AtomicFile::write(layout.folder() + "ske.dat", clusters.text(), error);
                        });
}
