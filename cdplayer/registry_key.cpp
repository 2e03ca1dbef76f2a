#include "cdplayer/default_player.h"
#include "common/cregistry.h"

namespace orvane::cdplayer {
namespace {

class RegistryKey final : public PlayCommandKey {
public:
    bool Open() override {
        return registry_.Connect(HKEY_LOCAL_MACHINE) && registry_.Open(kPlayCommandSubkey);
    }
    std::string Read() override {
        std::string value;
        if (!registry_.GetStringValue("", value)) value.clear();
        return value;
    }
    void Write(const std::string& command) override { registry_.SetStringValue("", command); }
    void Close() override { registry_.Close(); }

private:
    CRegistry registry_;
};

}  // namespace

std::unique_ptr<PlayCommandKey> RegistryPlayCommandKey() { return std::make_unique<RegistryKey>(); }

}  // namespace orvane::cdplayer
