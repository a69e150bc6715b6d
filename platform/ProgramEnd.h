#pragma once

namespace qv {

// The end of the program. The screens are unloaded before this is called.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    virtual void end() = 0;
    virtual bool ended() const = 0;
};

// Leaves the event loop (or keeps it from starting, when called before it runs).
class QtProgramEnd : public ProgramEnd {
public:
    void end() override;
    bool ended() const override { return ended_; }

private:
    bool ended_ = false;
};

} // namespace qv
