// The selection screen's start-up for bench/bench.sh tree: the screen loads the tree of every
// domain and container, offscreen, and prints the nodes' keys. The screens have a driver of their
// own because the runs' driver (qm_bench) never loads Qt's GUI libraries, as no run uses them.
#include <QApplication>

#include "bench/bench_platform.h"
#include "selection/selection_screen.h"

namespace {

using namespace qm;
using qm::bench::Bench;

struct DocumentTaskChosen : FirstScreen {
    bool optDocumentValue() override { return true; }
    bool optXLValue() override { return true; }
    std::string txtFileText() override { return {}; }
    void showFirstScreen() override {}
    void clearNotice() override {}
};

bool loadTree(Bench& bench) {
    int argc = 1;
    char name[] = "qm_tree_bench";
    char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ScreenServices services{bench.dialogs, bench.system, *bench.directory, *bench.spreadsheets,
                            bench.programEnd};
    DocumentTaskChosen firstScreen;
    SelectionScreen screen(services, firstScreen);
    screen.startUp();
    const ContainerTree& tree = screen.containerTree();
    for (int node = 1; node <= tree.Count(); ++node) {
        std::cout << tree.Key(node) << "\n";
    }
    return tree.Count() > 1;
}

}  // namespace

int main() {
    return qm::bench::runGuarded("qm_tree_bench", loadTree);
}
