# Hosting LV2 instruments with lilv: the installed instruments, the host
# features (URID map, options, worker, state), port classification and an
# instance that renders MIDI into audio (which zwirbels-plugin-host runs), and
# the program's side of that host: the process and its shared memory, the
# instrument that plays through it live and the offline renders. No toolkit.
pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
zw_library(zw_lv2
           FOLDER audio
           SOURCES src/audio/Lv2Features.cpp src/audio/Lv2Features.h src/audio/Lv2Instance.cpp src/audio/Lv2Instance.h
                   src/audio/Lv2Instrument.cpp src/audio/Lv2Instrument.h
                   src/audio/Lv2Nodes.h src/audio/Lv2Ports.cpp src/audio/Lv2Ports.h src/audio/Lv2State.cpp
                   src/audio/Lv2State.h src/audio/Lv2UridMap.cpp src/audio/Lv2UridMap.h src/audio/Lv2World.cpp
                   src/audio/Lv2World.h src/audio/Lv2Worker.cpp src/audio/Lv2Worker.h
                   src/audio/PluginHostProtocol.h src/audio/PluginHostProcess.cpp src/audio/PluginHostProcess.h
                   src/audio/Lv2RenderHost.cpp src/audio/Lv2RenderHost.h src/audio/RemoteInstrument.cpp
                   src/audio/RemoteInstrument.h src/audio/RestartPolicy.cpp src/audio/RestartPolicy.h
           PUBLIC zw_audio PkgConfig::LILV)
# The per-breeder choice of instrument, for the Sound settings dialog, and
# what each gene of a breeder's instrument stands for, for the gene view.
zw_library(zw_lv2_ui
           FOLDER audio
           SOURCES src/audio/Lv2InstrumentChoice.cpp src/audio/Lv2InstrumentChoice.h
                   src/audio/Lv2Genes.cpp src/audio/Lv2Genes.h
           PUBLIC zw_lv2 Qt6::Widgets)
