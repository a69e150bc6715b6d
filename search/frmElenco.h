#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

namespace qv {

// The list of all patients.
class frmElenco : public Screen {
    Q_OBJECT
public:
    explicit frmElenco(Screens& screens);

    DataControl Data1;

    void Form_Load() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }
};

} // namespace qv
