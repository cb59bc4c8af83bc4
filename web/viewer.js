// The deep-zoom viewer of tarvel serve: OpenSeadragon over one image's IIIF
// service, with brightness and contrast controls that ask the server for
// adjusted tiles. The page is /view/ID; ?drawer=canvas picks OpenSeadragon's
// drawer. window.viewer and window.tarvelStats (tiles loaded and failed) are
// there for scripts that drive the page.
(function () {
  'use strict';

  const id = decodeURIComponent(location.pathname.split('/').pop());
  const query = new URLSearchParams(location.search);
  const stats = { loaded: 0, failed: 0, opened: false };
  window.tarvelStats = stats;
  const status = document.getElementById('status');
  document.getElementById('title').textContent = id;
  document.title = id + ' - tarvel viewer';

  if (typeof OpenSeadragon === 'undefined') {
    status.textContent = 'OpenSeadragon is not installed on the server (run npm ci in web/).';
    return;
  }

  const options = {
    id: 'viewer',
    prefixUrl: '/web/images/',
    showNavigator: true,
    maxZoomPixelRatio: 4,
    visibilityRatio: 0.5,
  };
  if (query.get('drawer')) options.drawer = query.get('drawer');
  const viewer = OpenSeadragon(options);
  window.viewer = viewer;
  viewer.addHandler('tile-loaded', function () { stats.loaded++; });
  viewer.addHandler('tile-load-failed', function () { stats.failed++; });

  const brightness = document.getElementById('brightness');
  const contrast = document.getElementById('contrast');
  let info = null;

  // The query that asks for adjusted tiles; empty at the neutral setting, so
  // that plain tiles (and every cache holding them) are used.
  function adjustment() {
    if (brightness.value === '50' && contrast.value === '50') return '';
    return '?brightness=' + brightness.value + '&contrast=' + contrast.value;
  }

  function tileSource() {
    const source = new OpenSeadragon.IIIFTileSource(Object.assign({}, info));
    const tileUrl = source.getTileUrl;
    const suffix = adjustment();
    source.getTileUrl = function (level, x, y) {
      return tileUrl.call(this, level, x, y) + suffix;
    };
    return source;
  }

  // Shows the tiles of the current setting: the new layer goes on top and the
  // old one leaves once the new one has drawn, so nothing flickers.
  function show() {
    const previous = viewer.world.getItemCount() > 0 ? viewer.world.getItemAt(0) : null;
    viewer.addTiledImage({
      tileSource: tileSource(),
      index: viewer.world.getItemCount(),
      success: function (event) {
        stats.opened = true;
        if (!previous) return;
        const item = event.item;
        const drop = function () {
          if (viewer.world.getIndexOfItem(previous) >= 0) viewer.world.removeItem(previous);
        };
        if (item.getFullyLoaded()) drop();
        else item.addOnceHandler('fully-loaded-change', drop);
      },
      error: function (event) { status.textContent = 'Cannot open the image: ' + event.message; },
    });
  }

  let pending = 0;
  function changed() {
    clearTimeout(pending);
    pending = setTimeout(show, 200);
  }
  brightness.addEventListener('input', changed);
  contrast.addEventListener('input', changed);
  document.getElementById('reset').addEventListener('click', function () {
    brightness.value = contrast.value = '50';
    show();
  });

  fetch('/iiif/3/' + encodeURIComponent(id) + '/info.json')
    .then(function (response) {
      if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
      return response.json();
    })
    .then(function (json) {
      info = json;
      show();
    })
    .catch(function (e) { status.textContent = 'Cannot read the image information: ' + e.message; });
})();
