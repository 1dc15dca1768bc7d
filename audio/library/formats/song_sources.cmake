# The songs of the sound library: the song model and engine, the MOD, S3M,
# XM and IT players and MIDI songs. A library of its own above the formats
# (it plays through the sound library's channels and mixer).
zv_library(zv_audio_songs
  SOURCES
    midi_file.cc
    midi_song.cc
    mod_loader.cc
    it_loader.cc
    it_player.cc
    it_sample_unpack.cc
    mod_player.cc
    s3m_loader.cc
    s3m_player.cc
    song_engine.cc
    song_library_host.cc
    song_offline_host.cc
    song_tables.cc
    song_effects.cc
    song_tick_driver.cc
    xm_loader.cc
    xm_player.cc
  DEPS zv_audio_library zv_platform_midi)
