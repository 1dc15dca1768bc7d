# The music commands: music slots, the command-string device and its media,
# over the song player of the sound library.
target_sources(zv_audio_commands PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/music_commands.cc
  ${CMAKE_CURRENT_LIST_DIR}/music_mci.cc
  ${CMAKE_CURRENT_LIST_DIR}/music_mci_media.cc
  ${CMAKE_CURRENT_LIST_DIR}/music_service.cc
  ${CMAKE_CURRENT_LIST_DIR}/music_slots.cc)
target_link_libraries(zv_audio_commands PUBLIC zv_audio_songs PRIVATE zv_platform_video)
