// The game's SDL 1.2 and SDL_mixer calls as SDL 1.2 answers them, where
// the browser's own SDL library answers otherwise. Linked after it with
// --js-library, so each function here replaces the one of the same name.
// _fileno and _fclose are the C library's, exported by web/build.sh.

mergeInto(LibraryManager.library, {
  // ==== Pictures ====

  // A colour key makes every pixel of exactly that colour transparent.
  // Pictures live in canvases, so the key becomes alpha 0 on a copy of
  // the unkeyed pixels: a second key replaces the first, no key restores.
  // A picture just loaded has its pixels read back already (SDL locks it
  // once); a second read of the same canvas has the browser warn.
  SDL_SetColorKey__deps: ['$SDL'],
  SDL_SetColorKey: function(surf, flag, key) {
    var data = SDL.surfaces[surf];
    if (!data.unkeyed)
      data.unkeyed = data.image || data.ctx.getImageData(0, 0, data.width, data.height);
    var keyed = new ImageData(new Uint8ClampedArray(data.unkeyed.data), data.width, data.height);
    if (flag & 0x20000 /* SDL_SRCCOLORKEY */) {
      var p = keyed.data, r = key & 255, g = (key >> 8) & 255, b = (key >> 16) & 255;
      for (var i = 0; i < p.length; i += 4)
        if (p[i] === r && p[i + 1] === g && p[i + 2] === b) p[i + 3] = 0;
    }
    data.ctx.putImageData(keyed, 0, 0);
    return 0;
  },

  // ==== Errors ====

  // SDL keeps the message of the last failure, and the game prints it
  // when something won't load; the browser's SDL drops it. Kept as the
  // bytes it was given, up to the first 0.
  $setSdlError__deps: ['$SDL'],
  $setSdlError: function(bytes) {
    var end = bytes.indexOf(0);
    if (end >= 0) bytes = bytes.slice(0, end);
    if (SDL.errorMessage) _free(SDL.errorMessage);
    SDL.errorMessage = _malloc(bytes.length + 1);
    HEAPU8.set(bytes, SDL.errorMessage);
    HEAPU8[SDL.errorMessage + bytes.length] = 0;
  },

  SDL_SetError__deps: ['$setSdlError', '$formatString'],
  SDL_SetError: function(format, varargs) {
    setSdlError(formatString(format, varargs));
  },

  // ==== Streams ====

  // A file the game opened itself: its name is all the browser's loaders
  // need. With autoclose the file goes when the stream does.
  SDL_RWFromFP__deps: ['$SDL', '$FS', '$Browser'],
  SDL_RWFromFP: function(fp, autoclose) {
    var path = FS.getStream(_fileno(fp)).path;
    SDL.rwops.push({ filename: path, mimetype: Browser.getMimetype(path), fp: autoclose ? fp : 0 });
    return SDL.rwops.length - 1;
  },

  // A stream by name, or NULL when there is no such file, as in SDL 1.2.
  SDL_RWFromFile__deps: ['$SDL', '$FS', '$Browser', '$setSdlError'],
  SDL_RWFromFile: function(name, mode) {
    var path = UTF8ToString(name);
    if (!FS.analyzePath(path).exists) {
      setSdlError(Array.from('Couldn\'t open ' + path, function(c) { return c.charCodeAt(0) & 255; }));
      return 0;
    }
    SDL.rwops.push({ filename: path, mimetype: Browser.getMimetype(path), fp: 0 });
    return SDL.rwops.length - 1;
  },

  // Slot 0 stands for NULL and is never handed out: freeing the last
  // stream must not give it to the next one.
  SDL_FreeRW__deps: ['$SDL'],
  SDL_FreeRW: function(id) {
    var rw = SDL.rwops[id];
    if (rw && rw.fp) _fclose(rw.fp);
    SDL.rwops[id] = null;
    while (SDL.rwops.length > 1 && SDL.rwops[SDL.rwops.length - 1] === null) SDL.rwops.pop();
  },

  // ==== Keys ====

  // SDL 1.2 sends a key-down for a press, never for the browser's
  // auto-repeat. Wraps SDL's event handler before SDL_Init hands it to
  // the page.
  web_ignore_repeats__deps: ['$SDL'],
  web_ignore_repeats: function() {
    var receive = SDL.receiveEvent;
    SDL.receiveEvent = function(event) {
      if ((event.type === 'keydown' || event.type === 'keypress') && event.repeat) {
        event.preventDefault();
        return;
      }
      return receive(event);
    };
  },

  // ==== The page ====

  // Passes counted, and when the first one was drawn, for the page.
  web_passed: function() {
    if (!Module['passes']) Module['firstFrameAt'] = performance.now();
    Module['passes'] = (Module['passes'] || 0) + 1;
  },

  web_ended: function() {
    if (Module['onGameEnded']) Module['onGameEnded']();
  },

  // ==== Sound ====

  // SDL_mixer on Web Audio. A page may only sound after the player has
  // pressed a key or clicked, so the audio context is made then
  // (Module.startSound); until then the music counts as playing from the
  // start and begins when the context does, and a chime holds its channel
  // for its length without sounding. Sounds are decoded once, off-line.
  $Mixer__postset: "Module['startSound'] = function() { Mixer.start(); };" +
                   "Module['mixer'] = Mixer;",
  $Mixer: {
    context: null,
    open: false,
    sounds: [null],     // id -> { buffer } once decoded; 0 is NULL
    music: null,        // { id, node } while music plays (node null while held)
    channels: [],       // channel -> { id, plays, node, endsAt }; plays: loops + 1
    sounding: 0,        // sources playing now
    chimes: 0,          // chunks ever played on a channel

    decode: function(bytes, sound) {
      var offline = new OfflineAudioContext(2, 1, 44100);
      offline.decodeAudioData(bytes.slice().buffer).then(function(buffer) {
        sound.buffer = buffer;
        if (Mixer.music && Mixer.sounds[Mixer.music.id] === sound) Mixer.startMusic();
      }, function(e) {
        err('Couldn\'t decode a sound: ' + e);
      });
    },

    // A source for the buffer that plays loops + 1 times (-1: for ever)
    // and calls done when it ends by itself.
    play: function(buffer, loops, done) {
      var node = Mixer.context.createBufferSource();
      node.buffer = buffer;
      node.loop = loops !== 0;
      node.connect(Mixer.context.destination);
      node.onended = function() { Mixer.sounding--; done(); };
      node.start(0);
      if (loops > 0) node.stop(Mixer.context.currentTime + buffer.duration * (loops + 1));
      Mixer.sounding++;
      return node;
    },

    silence: function(node) {
      if (!node) return;
      node.onended = null;
      node.stop();
      Mixer.sounding--;
    },

    startMusic: function() {
      var music = Mixer.music, sound = Mixer.sounds[music.id];
      if (!Mixer.context || music.node || !sound || !sound.buffer) return;
      music.node = Mixer.play(sound.buffer, music.loops, function() {
        if (Mixer.music === music) Mixer.music = null;
      });
    },

    haltMusic: function() {
      if (!Mixer.music) return;
      Mixer.silence(Mixer.music.node);
      Mixer.music = null;
    },

    haltChannel: function(c) {
      var ch = Mixer.channels[c];
      if (!ch) return;
      Mixer.silence(ch.node);
      Mixer.channels[c] = null;
    },

    start: function() {
      if (!Mixer.context) Mixer.context = new AudioContext();
      if (Mixer.context.state === 'suspended') Mixer.context.resume();
      if (Mixer.open && Mixer.music) Mixer.startMusic();
    },
  },

  Mix_OpenAudio__deps: ['$Mixer'],
  Mix_OpenAudio: function(frequency, format, channels, chunksize) {
    if (typeof AudioContext === 'undefined') return -1;
    Mixer.open = true;
    return 0;
  },

  Mix_CloseAudio__deps: ['$Mixer', 'Mix_HaltChannel'],
  Mix_CloseAudio: function() {
    Mixer.haltMusic();
    _Mix_HaltChannel(-1);
    Mixer.open = false;
  },

  Mix_LoadWAV_RW__deps: ['$Mixer', '$SDL', '$FS', 'SDL_FreeRW'],
  Mix_LoadWAV_RW: function(rw, freesrc) {
    var stream = SDL.rwops[rw];
    if (!stream) return 0;
    var sound = { buffer: null };
    Mixer.decode(FS.readFile(stream.filename), sound);
    if (freesrc) _SDL_FreeRW(rw);
    Mixer.sounds.push(sound);
    return Mixer.sounds.length - 1;
  },

  Mix_LoadMUS__deps: ['Mix_LoadWAV_RW', 'SDL_RWFromFile'],
  Mix_LoadMUS: function(name) {
    var rw = _SDL_RWFromFile(name, 0);
    return rw ? _Mix_LoadWAV_RW(rw, 1) : 0;
  },

  Mix_FreeChunk__deps: ['$Mixer'],
  Mix_FreeChunk: function(id) {
    Mixer.channels.forEach(function(ch, c) { if (ch && ch.id === id) Mixer.haltChannel(c); });
    Mixer.sounds[id] = null;
  },

  Mix_FreeMusic__deps: ['$Mixer'],
  Mix_FreeMusic: function(id) {
    if (Mixer.music && Mixer.music.id === id) Mixer.haltMusic();
    Mixer.sounds[id] = null;
  },

  Mix_PlayMusic__deps: ['$Mixer'],
  Mix_PlayMusic: function(id, loops) {
    if (!Mixer.open || !Mixer.sounds[id]) return -1;
    Mixer.haltMusic();
    // SDL_mixer plays music once for 0 and for 1, n times for n, and -1 for ever.
    Mixer.music = { id: id, loops: loops < 0 ? -1 : Math.max(loops, 1) - 1, node: null };
    Mixer.startMusic();
    return 0;
  },

  Mix_PlayingMusic__deps: ['$Mixer'],
  Mix_PlayingMusic: function() {
    return Mixer.music ? 1 : 0;
  },

  Mix_HaltChannel__deps: ['$Mixer'],
  Mix_HaltChannel: function(channel) {
    if (channel !== -1) Mixer.haltChannel(channel);
    else Mixer.channels.forEach(function(ch, c) { Mixer.haltChannel(c); });
    return 0;
  },

  // The chunk loops + 1 times on the channel (-1: the first free one),
  // which is busy until the last play has ended.
  Mix_PlayChannelTimed__deps: ['$Mixer'],
  Mix_PlayChannelTimed: function(channel, id, loops, ticks) {
    var sound = Mixer.sounds[id];
    if (!Mixer.open || !sound || !sound.buffer) return -1;
    if (channel === -1) {
      channel = 0;
      while (Mixer.channels[channel]) channel++;
    }
    Mixer.haltChannel(channel);
    var plays = loops < 0 ? Infinity : loops + 1;
    var ch = { id: id, plays: plays, node: null,
               endsAt: performance.now() + sound.buffer.duration * 1000 * plays };
    if (Mixer.context) {
      ch.node = Mixer.play(sound.buffer, loops, function() {
        if (Mixer.channels[channel] === ch) Mixer.channels[channel] = null;
      });
    }
    Mixer.channels[channel] = ch;
    Mixer.chimes++;
    return channel;
  },

  Mix_Playing__deps: ['$Mixer'],
  Mix_Playing: function(channel) {
    var ch = Mixer.channels[channel];
    if (ch && !ch.node && performance.now() >= ch.endsAt) Mixer.channels[channel] = ch = null;
    return ch ? 1 : 0;
  },
});
