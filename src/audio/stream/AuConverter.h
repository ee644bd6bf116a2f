#pragma once
// An input fed by another input, changing the data on the way.
// Format queries answer from the input (0 without one); descendants override
// the ones they change. Pause and Resume are passed to the input.

#include "audio/stream/AuInput.h"

namespace dw {

class TAuConverter : public TAuInput, private TAuInputLinkHolder {
public:
    TAuConverter();
    ~TAuConverter() override;

    // Linking a converter to itself is ignored. While Busy the old input is
    // flushed and the new one initialised. Settable while running.
    virtual void SetInput(TAuInput* input);
    TAuInput* GetInput() const { return Input; }

    uint32_t GetBitsPerSample() override;  // bit 7 cleared unless KeepFlagBit
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;

    void Pause() override;
    void Resume() override;

    // After the source below this converter was sought in mid-run (a
    // player's jump): Position takes the source's new position, scaled by
    // the two sizes, less what is still held read-ahead, so that Progress
    // and the end of the data follow the jump instead of the bytes counted
    // before it.
    void FollowInputPosition();

protected:
    void ReadFromSource(void*& buffer, uint32_t& bytes) override;

    TAuInput* Input = nullptr;

private:
    void InputRemoved(TAuInput* input) override;
};

}  // namespace dw
