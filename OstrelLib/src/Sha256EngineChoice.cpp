#include "Sha256Compression.h"

namespace Sha256Compression {

namespace {

Engine BestEngine() {
    return CpuHasShaExtensions() ? Engine::ShaExtensions : Engine::Portable;
}

Engine& CurrentEngine() {
    static Engine engine = BestEngine();
    return engine;
}

}  // namespace

Engine ActiveEngine() {
    return CurrentEngine();
}

bool SelectEngine(Engine engine) {
    if (engine == Engine::ShaExtensions && !CpuHasShaExtensions())
        return false;
    CurrentEngine() = engine;
    return true;
}

Compressor ActiveCompressor() {
    return CurrentEngine() == Engine::ShaExtensions ? CompressWithShaExtensions : CompressPortable;
}

}  // namespace Sha256Compression
