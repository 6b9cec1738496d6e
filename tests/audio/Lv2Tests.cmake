# LV2 instruments hosted offline (mda JX10 and DX10); the allocation count
# replaces operator new, so it is an executable of its own.
zw_add_test(test_audio_lv2 LABEL unit SOURCES audio/Lv2HostTest.cpp LIBS zw_lv2_test_support zw_test_files)
zw_add_test(test_audio_lv2_allocation LABEL unit SOURCES audio/Lv2AllocationTest.cpp LIBS zw_lv2 zw_allocation_counter)
