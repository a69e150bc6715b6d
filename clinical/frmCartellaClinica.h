#pragma once

#include "app/Screen.h"
#include "store/DataControl.h"

namespace qv {

// The clinical notes of the patient the card shows.
class frmCartellaClinica : public Screen {
    Q_OBJECT
public:
    explicit frmCartellaClinica(Screens& screens);

    DataControl Data1;

    void Form_Load() override;
    std::vector<DataControl*> dataControls() override { return {&Data1}; }
};

} // namespace qv
