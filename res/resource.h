#pragma once
// Resource identifiers, shared by the resource script and the code.

#define IDR_PAYLOAD 129         // RCDATA: the payload archive
#define IDR_SETUP_INI 130       // RCDATA: the setup INI
#define IDI_SETUP 131           // icon group
#define IDD_INSTALL_PROMPT 132  // dialog: install prompt
#define IDD_DIRECTORY 134       // dialog: directory choice

#define IDC_BASE_DIR_LABEL 1000
#define IDC_BASE_DIR 1001
#define IDC_PROG_DIR_LABEL 1002
#define IDC_INSTALL_DIR 1003
#define IDC_CHANGE 1004
#define IDC_EXPLORE 1005
#define IDC_DESCRIPTION 1006
