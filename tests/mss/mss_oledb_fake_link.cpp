// mss_oledb_fake_link.cpp: the OLE DB stand-in's scripted driver link (bulk copy included), built
// into this suite for the table writer's tests.
#include "../plat/oledb/oledb_fake_link.cpp"
