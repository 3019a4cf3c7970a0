#pragma once
// A harness is one function of the input's bytes, written once with NS_FUZZ_TARGET(name). The
// fuzz build (NS_FUZZ, clang) makes it libFuzzer's entry point; every other build registers it
// under its name, and hostile_inputs_tests replays each seed and each input that ever failed
// through it.
//
// A harness drives the program's own reading path and states what that path promises with
// NS_FUZZ_CHECK (a refused file leaves the previous picture alone, a saved file reads back the
// same, ...). A broken promise stops the fuzzer with the input, or fails the test.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ns_fuzz {

using Target = void (*)(const uint8_t* data, size_t size);

void Fail(const char* what, const char* file, int line);

struct Registrar {
    Registrar(const char* name, Target target);
};
// The harnesses registered in a replay build, by name.
Target FindTarget(const std::string& name);

// A file of this name in the run's private scratch folder (on tmpfs where there is one),
// holding the bytes; returns its path.
std::string ScratchFile(const std::string& name, const uint8_t* data, size_t size);
std::string ScratchFolder();

// Takes small parameters from the front of the input; what is left is the file.
class Consumer {
public:
    Consumer(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t Byte() {
        if (m_size == 0) return 0;
        --m_size;
        return *m_data++;
    }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

}  // namespace ns_fuzz

#define NS_FUZZ_CHECK(cond) ((cond) ? void(0) : ::ns_fuzz::Fail(#cond, __FILE__, __LINE__))

#ifdef NS_FUZZ_REPLAY
#define NS_FUZZ_TARGET(name)                                                            \
    static void NsFuzzTarget_##name(const uint8_t* data, size_t size);                  \
    static const ::ns_fuzz::Registrar kNsFuzzRegistrar_##name(#name, NsFuzzTarget_##name); \
    static void NsFuzzTarget_##name(const uint8_t* data, size_t size)
#else
#define NS_FUZZ_TARGET(name)                                                       \
    static void NsFuzzTarget_##name(const uint8_t* data, size_t size);             \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {      \
        NsFuzzTarget_##name(data, size);                                           \
        return 0;                                                                  \
    }                                                                              \
    static void NsFuzzTarget_##name(const uint8_t* data, size_t size)
#endif
