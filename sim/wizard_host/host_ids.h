// Resources of the wizard host's own pages.
#ifndef KUVANA_SIM_HOST_IDS_H
#define KUVANA_SIM_HOST_IDS_H

#define IDD_HOST_WELCOME 201
#define IDD_HOST_FINISH 202
#define IDD_HOST_GENERAL 203
#define IDD_HOST_PLACEHOLDER 204

#define IDC_HOST_HEADLINE 2001
#define IDC_HOST_BODY 2002
#define IDC_HOST_DEVICE 2003

#endif
