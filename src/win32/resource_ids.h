// The numbers of the programs' resources (resources.rc.in and the code that loads them).
#pragma once

#define kAppIconId 1
