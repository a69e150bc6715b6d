#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

namespace qv {

// The patient search screen.
class frmCerca : public Screen {
    Q_OBJECT
public:
    explicit frmCerca(Screens& screens);

    DataControl Data1;

    void Form_Load() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }
};

} // namespace qv
