// A preloaded ioctl(2) for the end-to-end tests: requests on the one device node named by
// ORVANE_MMC_MODEL_DEVICE are answered by the MMC drive model, loaded from the cue sheet
// ORVANE_MMC_MODEL_CUE; every other ioctl goes on to the C library. Further settings:
//   ORVANE_MMC_MODEL_STATE = no_disc | tray_open | tray_stuck_open (open, and no motor to
//                            close it)
//   ORVANE_MMC_MODEL_FAIL  = first-last (sectors answering an unrecovered read error)
//   ORVANE_MMC_MODEL_C2    = ranges as the c2= fault word takes them ("400-401,420"):
//                            damaged sectors, read altered and flagged by C2 error pointers
//   ORVANE_MMC_MODEL_ID    = vendor/product
//   ORVANE_MMC_MODEL_TRACE = 1 (each command block and its sense on standard error)
// Never part of the program folder.

#include <dlfcn.h>
#include <limits.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "tests/platform/cdrom/mmc_drive_model.h"

namespace {

std::mutex gMutex;
std::unique_ptr<orvane::test::MmcDriveModel> gModel;
bool gTried = false;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

orvane::test::MmcDriveModel* Model() {
    if (gTried) return gModel.get();
    gTried = true;
    std::string error;
    gModel = orvane::test::MmcDriveModel::Open(Env("ORVANE_MMC_MODEL_CUE"), error);
    if (!gModel) {
        std::fprintf(stderr, "mmc model: %s\n", error.c_str());
        return nullptr;
    }
    const std::string state = Env("ORVANE_MMC_MODEL_STATE");
    if (state == "no_disc") gModel->RemoveDisc();
    if (state == "tray_open" || state == "tray_stuck_open") gModel->OpenTray();
    if (state == "tray_stuck_open") gModel->RemoveTrayMotor();
    unsigned first = 0, last = 0;
    if (std::sscanf(Env("ORVANE_MMC_MODEL_FAIL").c_str(), "%u-%u", &first, &last) == 2) {
        gModel->FailSectors(first, last);
    }
    if (const std::string c2 = Env("ORVANE_MMC_MODEL_C2"); !c2.empty()) {
        orvane::cdrom::FaultPlan plan;
        if (!orvane::cdrom::ParseFaultWord("c2=" + c2, plan, error))
            std::fprintf(stderr, "mmc model: %s\n", error.c_str());
        for (const orvane::cdrom::SectorRange& range : plan.c2)
            gModel->DamageSectors(range.first, range.last);
    }
    const std::string id = Env("ORVANE_MMC_MODEL_ID");
    if (std::size_t slash = id.find('/'); slash != std::string::npos) {
        gModel->SetIdentity(id.substr(0, slash), id.substr(slash + 1));
    }
    return gModel.get();
}

bool IsModelDevice(int fd) {
    const std::string device = Env("ORVANE_MMC_MODEL_DEVICE");
    if (device.empty()) return false;
    char link[64], target[PATH_MAX], wanted[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0 || !realpath(device.c_str(), wanted)) return false;
    target[n] = '\0';
    return std::strcmp(target, wanted) == 0;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (IsModelDevice(fd)) {
        std::lock_guard lock(gMutex);
        if (orvane::test::MmcDriveModel* model = Model()) {
            int rc = model->Ioctl(request, arg);
            if (request == SG_IO && !Env("ORVANE_MMC_MODEL_TRACE").empty()) {
                const auto* io = static_cast<const sg_io_hdr_t*>(arg);
                std::fprintf(stderr, "mmc model:");
                for (unsigned i = 0; i < io->cmd_len; ++i)
                    std::fprintf(stderr, " %02X", io->cmdp[i]);
                if (io->sb_len_wr >= 14) {
                    std::fprintf(stderr, " -> %X/%02X/%02X", io->sbp[2] & 0x0F, io->sbp[12],
                                 io->sbp[13]);
                }
                std::fprintf(stderr, "\n");
            }
            return rc;
        }
        errno = ENOTTY;
        return -1;
    }
    using Real = int (*)(int, unsigned long, ...);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, arg);
}
