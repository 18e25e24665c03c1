// cmvs <pmvs folder> <largest cluster> <cpus>
#include "AtomicFile.h"
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
                            const ImageClusters clusters =
                                ImageClusters::split(VisData::sharedPoints(bundle), size);
                            std::cout << clusters.viewCount << " images in " << clusters.clusters.size()
                                      << " clusters\n";
                            return AtomicFile::write(layout.folder() + "ske.dat", clusters.text(), error);
                        });
}
