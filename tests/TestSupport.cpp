#include "TestSupport.h"

#include <cstdlib>
#include <unistd.h>

TempFolder::TempFolder()
    : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                  .getNonexistentChildFile ("murmex2-test-" + juce::String ((int) getpid()), "", false))
{
    folder.createDirectory();
}

TempFolder::~TempFolder()
{
    folder.deleteRecursively();
}

ProcessorFixture::ProcessorFixture (double sampleRate, int blockSize, int numChannels)
    : processor (std::make_unique<Murmex2AudioProcessor> (presets.folder))
{
    auto layout = processor->getBusesLayout();
    layout.getMainOutputChannelSet() = numChannels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    processor->setBusesLayout (layout);
    processor->seedDrift (1);
    processor->prepareToPlay (sampleRate, blockSize);
    buffer.setSize (numChannels, blockSize);
}

void ProcessorFixture::set (const char* id, float value)
{
    auto* parameter = processor->apvts.getParameter (id);
    ASSERT_NE (parameter, nullptr) << id;
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

const juce::AudioBuffer<float>& ProcessorFixture::render (juce::MidiBuffer& midi, int numSamples)
{
    buffer.setSize (buffer.getNumChannels(), numSamples, false, false, true);
    processor->processBlock (buffer, midi);
    return buffer;
}

const juce::AudioBuffer<float>& ProcessorFixture::render (int numSamples)
{
    juce::MidiBuffer none;
    return render (none, numSamples);
}

juce::MidiBuffer noteOn (int note, int samplePosition, int channel, juce::uint8 velocity)
{
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (channel, note, velocity), samplePosition);
    return midi;
}

juce::MidiBuffer noteOff (int note, int samplePosition, int channel)
{
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOff (channel, note), samplePosition);
    return midi;
}

float peakOf (const juce::AudioBuffer<float>& buffer, int channel)
{
    return buffer.getMagnitude (channel, 0, buffer.getNumSamples());
}

namespace juce
{
    // JUCE's own message pump on Linux; modal loops, and with them
    // runDispatchLoopUntil, are not built in.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

void dispatchPendingMessages()
{
    for (int i = 0; i < 200 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {
    }
}

juce::MouseEvent mouseAt (juce::Component& c, int x, int y)
{
    const juce::Point<float> position ((float) x, (float) y);
    const auto now = juce::Time::getCurrentTime();

    return { juce::Desktop::getInstance().getMainMouseSource(), position,
             juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier),
             juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f,
             &c, &c, now, position, now, 1, false };
}

//==============================================================================
#if defined(__has_feature)
 #if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
  #define MURMEX2_SANITIZED_MALLOC 1
 #endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
 #define MURMEX2_SANITIZED_MALLOC 1
#endif

#if ! defined(MURMEX2_SANITIZED_MALLOC) && defined(__GLIBC__)

namespace
{
    thread_local bool counting = false;
    thread_local long allocations = 0;

    inline void count() noexcept
    {
        if (counting)
            ++allocations;
    }
}

// glibc's own entry points, so every allocation of the process passes here.
extern "C"
{
    void* __libc_malloc (size_t);
    void* __libc_calloc (size_t, size_t);
    void* __libc_realloc (void*, size_t);
    void* __libc_memalign (size_t, size_t);
    void __libc_free (void*);

    void* malloc (size_t size) { count(); return __libc_malloc (size); }
    void* calloc (size_t n, size_t size) { count(); return __libc_calloc (n, size); }
    void* realloc (void* p, size_t size) { count(); return __libc_realloc (p, size); }
    void* memalign (size_t alignment, size_t size) { count(); return __libc_memalign (alignment, size); }
    void* aligned_alloc (size_t alignment, size_t size) { count(); return __libc_memalign (alignment, size); }

    int posix_memalign (void** result, size_t alignment, size_t size)
    {
        count();
        *result = __libc_memalign (alignment, size);
        return *result != nullptr ? 0 : 12;
    }

    void free (void* p) { __libc_free (p); }
}

bool AllocationCounter::isAvailable() { return true; }
void AllocationCounter::arm() { allocations = 0; counting = true; }
long AllocationCounter::disarm() { counting = false; return allocations; }

#else

bool AllocationCounter::isAvailable() { return false; }
void AllocationCounter::arm() {}
long AllocationCounter::disarm() { return 0; }

#endif
