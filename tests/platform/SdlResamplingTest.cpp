// When SDL has to change the rate for a device (one that does not take the
// rate asked for), it converts through a band-limited filter: a 10 kHz tone
// taken from 44.1 to 48 kHz keeps its level and leaves no image at 13.9 kHz
// (SDL's own converter leaves one at about -70 dB).

#include "platform/SdlAudio.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace {

// The same library instance the program opened; SDL's stream functions are
// not among the ones the program binds, so the test looks them up itself.
template <typename F>
F lookUp(void* lib, const char* name)
{
    return reinterpret_cast<F>(dlsym(lib, name));
}

double level(const std::vector<float>& x, double freq, double rate, std::size_t from, std::size_t count)
{
    double re = 0, im = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        re += x[i] * std::cos(2 * std::numbers::pi * freq * double(i) / rate);
        im += x[i] * std::sin(2 * std::numbers::pi * freq * double(i) / rate);
    }
    return 2 * std::hypot(re, im) / double(count);
}

}  // namespace

TEST(SdlAudioTest, RateConversionInsideSdlIsBandLimited)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("SDL_AUDIO_RESAMPLING_MODE");  // one in the environment would win over the program's choice
    {
        dw::SdlAudioSubsystem audio;
        ASSERT_TRUE(audio.ok()) << dw::sdl::GetError();
        void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(lib, nullptr);
        const auto create = lookUp<decltype(&SDL_NewAudioStream)>(lib, "SDL_NewAudioStream");
        const auto put = lookUp<decltype(&SDL_AudioStreamPut)>(lib, "SDL_AudioStreamPut");
        const auto flush = lookUp<decltype(&SDL_AudioStreamFlush)>(lib, "SDL_AudioStreamFlush");
        const auto get = lookUp<decltype(&SDL_AudioStreamGet)>(lib, "SDL_AudioStreamGet");
        const auto release = lookUp<decltype(&SDL_FreeAudioStream)>(lib, "SDL_FreeAudioStream");
        ASSERT_TRUE(create && put && flush && get && release);

        SDL_AudioStream* stream = create(AUDIO_S16SYS, 1, 44100, AUDIO_F32SYS, 1, 48000);
        ASSERT_NE(stream, nullptr);
        std::vector<int16_t> in(44100);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = int16_t(std::lround(16384 * std::sin(2 * std::numbers::pi * 10000.0 * double(i) / 44100)));
        ASSERT_EQ(put(stream, in.data(), int(in.size() * 2)), 0);
        ASSERT_EQ(flush(stream), 0);
        std::vector<float> out(60000);
        const int got = get(stream, out.data(), int(out.size() * 4)) / 4;
        release(stream);
        dlclose(lib);

        ASSERT_GT(got, 4800 + 38400);
        // 0.8 s from 0.1 s on: whole cycles of both frequencies.
        EXPECT_NEAR(20 * std::log10(level(out, 10000, 48000, 4800, 38400) / 0.5), 0.0, 0.1);
        EXPECT_LT(20 * std::log10(level(out, 13900, 48000, 4800, 38400) / 0.5), -100.0);
    }
    unsetenv("SDL_AUDIODRIVER");
}
