#pragma once

namespace qv {

// The busy cursor over the program's windows.
class BusyCursor {
public:
    virtual ~BusyCursor() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
};

// The system's wait cursor, put on at once (the program is not back in its event loop to do
// it later).
class QtBusyCursor : public BusyCursor {
public:
    ~QtBusyCursor() override;
    void show() override;
    void hide() override;

private:
    bool shown_ = false;
};

} // namespace qv
