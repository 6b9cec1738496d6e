# LV2 instruments hosted offline (mda JX10 and DX10); the allocation count
# replaces operator new, so it is an executable of its own.
zw_add_test(test_audio_lv2 LABEL unit SOURCES audio/Lv2HostTest.cpp LIBS zw_lv2_test_support zw_test_files)
target_compile_definitions(test_audio_lv2 PRIVATE ZW_TEST_LV2_DIR="${ZW_TEST_LV2_DIR}")
add_dependencies(test_audio_lv2 zw_test_instrument)
zw_add_test(test_audio_lv2_allocation LABEL unit SOURCES audio/Lv2AllocationTest.cpp LIBS zw_lv2 zw_allocation_counter)
# LV2 instruments in processes of their own, live: the tests' own instrument
# made to fail beside mda JX10, at the pace of an output.
zw_add_test(test_audio_remote LABEL unit SOURCES audio/RemoteInstrumentTest.cpp LIBS zw_lv2)
target_compile_definitions(test_audio_remote PRIVATE ZW_TEST_LV2_DIR="${ZW_TEST_LV2_DIR}")
add_dependencies(test_audio_remote zwirbels-plugin-host zw_test_instrument)
