#pragma once

#include "ui/app.h"

// The application: runs the main dialog modally and ends with it.
class CKelvarinApp : public CWinApp {
public:
    CKelvarinApp();
    BOOL InitInstance() override;
};
