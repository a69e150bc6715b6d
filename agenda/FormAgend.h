#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

namespace qv {

// The day agenda.
class FormAgend : public Screen {
    Q_OBJECT
public:
    explicit FormAgend(Screens& screens);

    DataControl Data1;

    void Form_Load() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }
};

} // namespace qv
