// Does one change to a data folder and says so on stdout, for a test that kills it at each
// file-changing call in turn (run under the fault shim):
//   "calls <n>"   the change returned after n file-changing calls (-1 without the shim)
//   "failed <reason>"
//   "kept"        (before "calls") the delete left the photo in place
// Usage: SaveOnceHarness <data folder> <setup | new | edit | delete>
//   setup   a new library holding photo 1, whose source picture is landscape
//   new     adds photo 2 (a portrait) beside it
//   edit    turns photo 1 into photo 2: re-imported as a portrait and renamed
//   delete  deletes photo 1
#include "FaultPhotos.h"
#include "PassportPhotoInfo.h"
#include "StoredData.h"

#include <QCoreApplication>
#include <cstdio>
#include <dlfcn.h>
#include <exception>
#include <string>

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

template <class F> F ShimFunction(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: SaveOnceHarness folder setup|new|edit|delete\n");
        return 64;
    }
    const std::string op = argv[2];
    if (!StoredData::OpenForRecords(QString::fromLocal8Bit(argv[1]))) return 3;

    PassportPhotoInfo record;
    if (op == "setup") {
        FaultPhotos::Fill(record, 1, QSize(FaultPhotos::kSourceWidth, FaultPhotos::kSourceHeight));
    } else if (op == "new") {
        FaultPhotos::Fill(record, 2, QSize(FaultPhotos::kSourceHeight, FaultPhotos::kSourceWidth));
    } else if (op == "edit" || op == "delete") {
        if (!record.LoadID(1)) {
            Say("failed no photo 1");
            return 2;
        }
        if (op == "edit") FaultPhotos::Fill(record, 2, QSize(FaultPhotos::kSourceHeight, FaultPhotos::kSourceWidth));
    } else {
        return 64;
    }

    // Only the change itself is counted, not the start that leads to it.
    if (auto begin = ShimFunction<void (*)()>("kestrine_fault_begin")) begin();
    try {
        if (op == "delete") {
            record.DeleteFromDisk();
            if (record.mRowID != 0) Say("kept");
        } else
            record.SaveToDB();
    } catch (const std::exception& e) {
        Say(std::string("failed ") + e.what());
        return 2;
    }
    auto calls = ShimFunction<long (*)()>("kestrine_fault_calls");
    Say("calls " + std::to_string(calls ? calls() : -1L));
    return 0;
}
