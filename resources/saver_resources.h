// Identifiers of the saver's resources, shared by the resource script and the code.
#pragma once

#define IDS_DESCRIPTION 1
#define IDI_SAVER 108
#define IDD_ABOUT 2003
